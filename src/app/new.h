#pragma once

#include <QDialog>

class QSpinBox;

// "マップの新規作成": the size of a new map and of its parts. Keeps its values from one
// showing to the next. It cannot close with OK while a part size is below 1.
class TNewCreateDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TNewCreateDlg(QWidget* parent = nullptr);

    QSpinBox* Spin_NewWidth;
    QSpinBox* Spin_NewHeight;
    QSpinBox* Spin_NewPartsWidth;
    QSpinBox* Spin_NewPartsHeight;

    void accept() override;
};
