#pragma once

#include <QDialog>

// The transparency dialog, for laying one part over another with a transparent colour or a
// mask. It has a caption and no controls: no overlay can be made.
class TTranslucenPartsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TTranslucenPartsDlg(QWidget* parent = nullptr);
};
