#include "transparts.h"

TTranslucenPartsDlg::TTranslucenPartsDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TranslucenPartsDlg"));
    setWindowTitle(QStringLiteral("透明色を指定して下さい"));
}
