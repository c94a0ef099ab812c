#pragma once

#include <QDialog>

class QSpinBox;

// "パーツの置換": which part number to replace by which.
class TReplaceDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TReplaceDlg(QWidget* parent = nullptr);

    QSpinBox* Spin_BeforParts;
    QSpinBox* Spin_AfterParts;
};
