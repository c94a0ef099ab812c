#include "replace.h"

#include "Dialogs.h"

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

    QHBoxLayout* buttons = OkCancelRow(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}
