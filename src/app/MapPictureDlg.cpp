#include "MapPictureDlg.h"

#include "Dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

namespace {

QSpinBox* spin(QWidget* parent, const char* name, int minimum, int maximum, int value)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(minimum, maximum);
    box->setValue(value);
    return box;
}

} // namespace

TMapPictureDlg::TMapPictureDlg(const TMapPictureRequest& request, QWidget* parent)
    : QDialog(parent), FRequest(request)
{
    setObjectName(QStringLiteral("MapPictureDlg"));
    setWindowTitle(QStringLiteral("マップ全景の画像"));
    const TMapPictureChoice& c = request.Choice;

    Radio_PartSize = new QRadioButton(QStringLiteral("パーツの大きさ (%1 x %2)")
                                          .arg(request.PartSize.width())
                                          .arg(request.PartSize.height()),
                                      this);
    Radio_ViewSize = new QRadioButton(
        QStringLiteral("表示中の大きさ (%1 x %1)").arg(request.ViewCellSize), this);
    Radio_CustomSize = new QRadioButton(QStringLiteral("指定した大きさ"), this);
    Radio_PartSize->setObjectName(QStringLiteral("Radio_PartSize"));
    Radio_ViewSize->setObjectName(QStringLiteral("Radio_ViewSize"));
    Radio_CustomSize->setObjectName(QStringLiteral("Radio_CustomSize"));
    auto* group = new QButtonGroup(this);
    for (QRadioButton* r : {Radio_PartSize, Radio_ViewSize, Radio_CustomSize})
        group->addButton(r);
    (c.CellKind == TMapPictureChoice::ckViewSize ? Radio_ViewSize
     : c.CellKind == TMapPictureChoice::ckCustom ? Radio_CustomSize
                                                 : Radio_PartSize)
        ->setChecked(true);
    Spin_CellSize = spin(this, "Spin_CellSize", 1, TMapPictureChoice::MaxCellSize, c.CellSize);
    Spin_PngLevel = spin(this, "Spin_PngLevel", 0, TMapPictureChoice::MaxPngLevel, c.PngLevel);
    Check_Split = new QCheckBox(QStringLiteral("分割して保存する"), this);
    Check_Split->setObjectName(QStringLiteral("Check_Split"));
    Check_Split->setChecked(c.Split);
    const int maxTile = std::numeric_limits<int>::max();
    Spin_TileWidth = spin(this, "Spin_TileWidth", 1, maxTile, c.TileWidth);
    Spin_TileHeight = spin(this, "Spin_TileHeight", 1, maxTile, c.TileHeight);
    Label_PictureSize = new QLabel(this);
    Label_PictureSize->setObjectName(QStringLiteral("Label_PictureSize"));

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("１セルの大きさ"), this), 0, 0);
    fields->addWidget(Radio_PartSize, 0, 1, 1, 2);
    fields->addWidget(Radio_ViewSize, 1, 1, 1, 2);
    fields->addWidget(Radio_CustomSize, 2, 1);
    fields->addWidget(Spin_CellSize, 2, 2);
    fields->addWidget(new QLabel(QStringLiteral("PNG の圧縮レベル (0〜9)"), this), 3, 0);
    fields->addWidget(Spin_PngLevel, 3, 1);
    fields->addWidget(Check_Split, 4, 0);
    fields->addWidget(new QLabel(QStringLiteral("１枚の幅"), this), 4, 1);
    fields->addWidget(Spin_TileWidth, 4, 2);
    fields->addWidget(new QLabel(QStringLiteral("１枚の高さ"), this), 5, 1);
    fields->addWidget(Spin_TileHeight, 5, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QFileInfo(request.FileName).fileName(), this));
    layout->addLayout(fields);
    layout->addWidget(Label_PictureSize);
    layout->addLayout(OkCancelRow(this));

    for (QRadioButton* r : {Radio_PartSize, Radio_ViewSize, Radio_CustomSize})
        connect(r, &QRadioButton::toggled, this, &TMapPictureDlg::updateControls);
    for (QSpinBox* s : {Spin_CellSize, Spin_TileWidth, Spin_TileHeight})
        connect(s, &QSpinBox::valueChanged, this, &TMapPictureDlg::updateControls);
    connect(Check_Split, &QCheckBox::toggled, this, &TMapPictureDlg::updateControls);
    updateControls();
}

TMapPictureChoice TMapPictureDlg::Choice() const
{
    TMapPictureChoice c = FRequest.Choice;
    c.CellKind = Radio_ViewSize->isChecked()     ? TMapPictureChoice::ckViewSize
                 : Radio_CustomSize->isChecked() ? TMapPictureChoice::ckCustom
                                                 : TMapPictureChoice::ckPartSize;
    c.CellSize = Spin_CellSize->value();
    c.PngLevel = Spin_PngLevel->value();
    c.Split = Check_Split->isChecked();
    c.TileWidth = Spin_TileWidth->value();
    c.TileHeight = Spin_TileHeight->value();
    return c;
}

void TMapPictureDlg::updateControls()
{
    Spin_CellSize->setEnabled(Radio_CustomSize->isChecked());
    Spin_PngLevel->setEnabled(FRequest.Png);
    Spin_TileWidth->setEnabled(Check_Split->isChecked());
    Spin_TileHeight->setEnabled(Check_Split->isChecked());
    const QSize cell = MapPictureCellSize(FRequest, Choice());
    const qint64 width = qint64(FRequest.MapWidth) * cell.width();
    const qint64 height = qint64(FRequest.MapHeight) * cell.height();
    QString text = QStringLiteral("画像の大きさ: %1 x %2 ピクセル").arg(width).arg(height);
    if (Check_Split->isChecked()) {
        const qint64 columns = (width + Spin_TileWidth->value() - 1) / Spin_TileWidth->value();
        const qint64 rows = (height + Spin_TileHeight->value() - 1) / Spin_TileHeight->value();
        text += QStringLiteral(" (%1 x %2 枚)").arg(columns).arg(rows);
    }
    Label_PictureSize->setText(text);
}
