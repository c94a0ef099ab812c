#include "new.h"

#include "Dialogs.h"
#include "PartsStore.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QSpinBox* spin(QWidget* parent, int minimum, int maximum, int value)
{
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setValue(value);
    return box;
}

} // namespace

TNewCreateDlg::TNewCreateDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NewCreateDlg"));
    setWindowTitle(QStringLiteral("マップの新規作成"));

    Spin_NewWidth = spin(this, 1, 9999, 101);
    Spin_NewHeight = spin(this, 1, 9999, 101);
    // The part sizes take what the user types, so that a wrong value can be answered with
    // a message rather than silently changed; accept() refuses sizes below 1. The top is
    // what a part size can hold.
    Spin_NewPartsWidth = spin(this, -99999, 65535, 32);
    Spin_NewPartsHeight = spin(this, -99999, 65535, 32);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("横方向のサイズ（パーツ数）"), this), 0, 0);
    fields->addWidget(Spin_NewWidth, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("縦方向のサイズ（パーツ数）"), this), 1, 0);
    fields->addWidget(Spin_NewHeight, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("１パーツの横方向ドット数"), this), 2, 0);
    fields->addWidget(Spin_NewPartsWidth, 2, 1);
    fields->addWidget(new QLabel(QStringLiteral("１パーツの縦方向ドット数"), this), 3, 0);
    fields->addWidget(Spin_NewPartsHeight, 3, 1);

    QHBoxLayout* buttons = OkCancelRow(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(new QLabel(QStringLiteral("現在編集中のデータは破棄されます。"), this));
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

void TNewCreateDlg::accept()
{
    // The map view divides by the part size.
    if (Spin_NewPartsWidth->value() < 1 || Spin_NewPartsHeight->value() < 1) {
        ShowError(this, QStringLiteral("１パーツのドット数は１以上を指定して下さい"));
        (Spin_NewPartsWidth->value() < 1 ? Spin_NewPartsWidth : Spin_NewPartsHeight)->setFocus();
        return;
    }
    // Parts so large that the parts sheet would not fit one picture cannot be held.
    if (!TPartsStore::PartSizeAllowed(Spin_NewPartsWidth->value(), Spin_NewPartsHeight->value())) {
        ShowError(this, TPartsStore::PartSizeTooLargeText);
        Spin_NewPartsWidth->setFocus();
        return;
    }
    QDialog::accept();
}
