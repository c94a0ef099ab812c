#include "replace.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TReplaceDlg::TReplaceDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ReplaceDlg"));
    setWindowTitle(QStringLiteral("パーツの置換"));

    Spin_BeforParts = new QSpinBox(this);
    Spin_BeforParts->setRange(0, 255);
    Spin_AfterParts = new QSpinBox(this);
    Spin_AfterParts->setRange(0, 255);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("置換対象のパーツ番号"), this), 0, 0);
    fields->addWidget(Spin_BeforParts, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("新しいパーツ番号"), this), 1, 0);
    fields->addWidget(Spin_AfterParts, 1, 1);

    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}
