#pragma once

#include <QDialog>

// The transparency dialog: lays one part over another with a transparent colour or a mask.
// Its controls and the overlay come with the overlay commands; until then the dialog
// exists in the program's windows with its caption only.
class TTranslucenPartsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TTranslucenPartsDlg(QWidget* parent = nullptr);
};
