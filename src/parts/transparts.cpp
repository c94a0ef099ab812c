#include "transparts.h"

#include "Dialogs.h"
#include "LupeUnit.h"
#include "PartsStore.h"

#include <QAction>
#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr QRgb Transparent = 0xffffffff;
constexpr QRgb Opaque = 0xff000000;

QRgb maskValue(bool transparent)
{
    return transparent ? Transparent : Opaque;
}

bool isWhite(QRgb c)
{
    return (c & 0xffffff) == 0xffffff;
}

// Small glyphs for the dialog's picture buttons.
QIcon reverseGlyph()
{
    QPixmap glyph(16, 16);
    glyph.fill(Qt::white);
    QPainter p(&glyph);
    p.fillRect(0, 0, 8, 16, Qt::black);
    p.setPen(Qt::gray);
    p.drawRect(0, 0, 15, 15);
    return QIcon(glyph);
}

QIcon freeLineGlyph()
{
    QPixmap glyph(16, 16);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setPen(QPen(Qt::black, 1));
    const QPoint stroke[] = {{2, 13}, {4, 9}, {7, 11}, {10, 5}, {13, 2}};
    p.drawPolyline(stroke, 5);
    return QIcon(glyph);
}

QIcon paintGlyph()
{
    QPixmap glyph(16, 16);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    p.drawRect(2, 5, 9, 9);
    p.drawLine(11, 6, 14, 11);
    return QIcon(glyph);
}

} // namespace

// TOverlayMask

void TOverlayMask::SetSource(const QImage& source)
{
    SourceBitmap = source.convertToFormat(QImage::Format_RGB32);
    MaskBitmap = QImage(SourceBitmap.size(), QImage::Format_RGB32);
    MaskBitmap.fill(Opaque);
    FPosition = QPoint();
}

bool TOverlayMask::IsTransparent(int x, int y) const
{
    return Contains(x, y) && isWhite(MaskBitmap.pixel(x, y));
}

void TOverlayMask::MakeFromColour(QRgb c)
{
    c &= 0xffffff;
    for (int y = 0; y < SourceBitmap.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(SourceBitmap.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(MaskBitmap.scanLine(y));
        for (int x = 0; x < SourceBitmap.width(); ++x)
            to[x] = (from[x] & 0xffffff) == c ? Transparent : Opaque;
    }
}

void TOverlayMask::SetPixel(int x, int y, bool transparent)
{
    if (Contains(x, y))
        MaskBitmap.setPixel(x, y, maskValue(transparent));
    FPosition = QPoint(x, y);
}

void TOverlayMask::LineTo(int x, int y, bool transparent)
{
    // The thin pen's line, so that a stroke marks exactly the pixels the pointer passed.
    FShapes.Line(FPosition, QPoint(x, y), false, FSpans);
    TPixelShapes::Paint(MaskBitmap, FSpans, maskValue(transparent), false);
    FPosition = QPoint(x, y);
}

void TOverlayMask::Fill(int x, int y, bool transparent)
{
    FPosition = QPoint(x, y);
    FShapes.Fill(MaskBitmap, FPosition, maskValue(transparent));
}

void TOverlayMask::Reverse()
{
    MaskBitmap.invertPixels();
}

QImage TOverlayMask::BlinkPicture(int phase) const
{
    QImage shown = SourceBitmap.copy();
    if (phase == 0)
        return shown;
    for (int y = 0; y < shown.height(); ++y) {
        const auto* mask = reinterpret_cast<const QRgb*>(MaskBitmap.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            if (isWhite(mask[x]))
                line[x] ^= 0xffffff;
        }
    }
    return shown;
}

void TOverlayMask::OverlayOnto(QImage& target) const
{
    const int w = std::min(SourceBitmap.width(), target.width());
    const int h = std::min(SourceBitmap.height(), target.height());
    const bool direct =
        target.format() == QImage::Format_RGB32 || target.format() == QImage::Format_ARGB32;
    for (int y = 0; y < h; ++y) {
        const auto* mask = reinterpret_cast<const QRgb*>(MaskBitmap.constScanLine(y));
        const auto* source = reinterpret_cast<const QRgb*>(SourceBitmap.constScanLine(y));
        auto* line = direct ? reinterpret_cast<QRgb*>(target.scanLine(y)) : nullptr;
        for (int x = 0; x < w; ++x) {
            if ((mask[x] & 0xffffff) != 0)
                continue;
            if (line)
                line[x] = source[x] | 0xff000000;
            else
                target.setPixel(x, y, source[x]);
        }
    }
}

// TTranslucenPartsDlg

TTranslucenPartsDlg::TTranslucenPartsDlg(const TPartsStore& parts, QWidget* parent)
    : QDialog(parent), FParts(parts)
{
    setObjectName(QStringLiteral("TranslucenPartsDlg"));
    setWindowTitle(QStringLiteral("透明色を指定して下さい"));
    createControls();
    setFixedSize(422, 324);

    // The blinking runs from the start, also while the dialog is hidden.
    BlinkTimer = new QTimer(this);
    BlinkTimer->setObjectName(QStringLiteral("BlinkTimer"));
    BlinkTimer->setInterval(500);
    connect(BlinkTimer, &QTimer::timeout, this, &TTranslucenPartsDlg::BlinkTimerTimer);
    BlinkTimer->start();
}

TTranslucenPartsDlg::~TTranslucenPartsDlg() = default;

void TTranslucenPartsDlg::createControls()
{
    Lupe = new TLupe;
    Lupe->setObjectName(QStringLiteral("Lupe"));
    Lupe->SetPower(8);
    Lupe->SetDrawGrid(true);
    Lupe->SetStyle(lsStandard);
    Lupe->SetClipWidth(29);
    Lupe->SetClipHeight(29);
    Lupe->OnSourceMouseDown = [this](Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                     const QPoint& pos) {
        LupeSourceMouseDown(button, shift, pos);
    };
    Lupe->OnSourceMouseMove = [this](Qt::KeyboardModifiers shift, const QPoint& pos) {
        LupeSourceMouseMove(shift, pos);
    };
    Lupe->OnSourceMouseUp = [this](Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                   const QPoint& pos) { LupeSourceMouseUp(button, shift, pos); };

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFixedSize(281, 273);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setWidget(Lupe);
    // Unlike the map, the enlarged part follows the thumb while it is dragged.
    ScrollBox1->horizontalScrollBar()->setTracking(true);
    ScrollBox1->verticalScrollBar()->setTracking(true);

    Radio_ColorWay = new QRadioButton(QStringLiteral("色指定"), this);
    Radio_ColorWay->setObjectName(QStringLiteral("Radio_ColorWay"));
    Radio_ColorWay->setChecked(true);
    Radio_MaskWay = new QRadioButton(QStringLiteral("マスク指定"), this);
    Radio_MaskWay->setObjectName(QStringLiteral("Radio_MaskWay"));
    // One of the two ways is always checked: a click on the checked one keeps it.
    auto* ways = new QButtonGroup(this);
    ways->addButton(Radio_ColorWay);
    ways->addButton(Radio_MaskWay);
    // Also when a program sets the radios: the boxes and the popup menu always follow.
    for (QRadioButton* way : {Radio_ColorWay, Radio_MaskWay}) {
        connect(way, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked)
                Radio_SelectWay();
        });
    }

    Button_Reverse = new QToolButton(this);
    Button_Reverse->setObjectName(QStringLiteral("Button_Reverse"));
    Button_Reverse->setIcon(reverseGlyph());
    Button_Reverse->setToolTip(QStringLiteral("マスクの反転"));
    connect(Button_Reverse, &QToolButton::clicked, this, &TTranslucenPartsDlg::Button_ReverseClick);

    Box_ColorWay = new QGroupBox(QStringLiteral("透過色"), this);
    Box_ColorWay->setObjectName(QStringLiteral("Box_ColorWay"));
    ColorPanel = new QFrame(Box_ColorWay);
    ColorPanel->setObjectName(QStringLiteral("ColorPanel"));
    ColorPanel->setFrameShape(QFrame::Panel);
    ColorPanel->setFrameShadow(QFrame::Sunken);
    ColorPanel->setAutoFillBackground(true);
    ColorPanel->setFixedSize(81, 25);
    ColorPanel->setToolTip(QStringLiteral("選択した色が示されています"));
    ColorPanel->hide();
    auto* colourLayout = new QVBoxLayout(Box_ColorWay);
    colourLayout->addWidget(ColorPanel, 0, Qt::AlignHCenter);
    Box_ColorWay->setFixedHeight(60);

    Box_MaskWay = new QGroupBox(QStringLiteral("マスク指定"), this);
    Box_MaskWay->setObjectName(QStringLiteral("Box_MaskWay"));
    Radio_Trans = new QRadioButton(QStringLiteral("透過部分"), Box_MaskWay);
    Radio_Trans->setObjectName(QStringLiteral("Radio_Trans"));
    Radio_Trans->setChecked(true);
    Radio_NotTrans = new QRadioButton(QStringLiteral("非透過部分"), Box_MaskWay);
    Radio_NotTrans->setObjectName(QStringLiteral("Radio_NotTrans"));
    Button_FreeLine = new QToolButton(Box_MaskWay);
    Button_FreeLine->setObjectName(QStringLiteral("Button_FreeLine"));
    Button_FreeLine->setIcon(freeLineGlyph());
    Button_FreeLine->setToolTip(QStringLiteral("フリーラインモード"));
    Button_FreeLine->setCheckable(true);
    Button_FreeLine->setChecked(true);
    Button_Paint = new QToolButton(Box_MaskWay);
    Button_Paint->setObjectName(QStringLiteral("Button_Paint"));
    Button_Paint->setIcon(paintGlyph());
    Button_Paint->setToolTip(QStringLiteral("塗りつぶしモード"));
    Button_Paint->setCheckable(true);
    auto* modes = new QButtonGroup(Box_MaskWay);
    modes->addButton(Button_FreeLine);
    modes->addButton(Button_Paint);
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(Button_FreeLine);
    modeRow->addWidget(Button_Paint);
    modeRow->addStretch();
    auto* maskLayout = new QVBoxLayout(Box_MaskWay);
    maskLayout->addWidget(Radio_Trans);
    maskLayout->addWidget(Radio_NotTrans);
    maskLayout->addLayout(modeRow);
    Box_MaskWay->hide();

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    F1 = PopupMenu->addAction(QStringLiteral("フリーラインモード(&F)"), this,
                              &TTranslucenPartsDlg::F1Click);
    P1 = PopupMenu->addAction(QStringLiteral("塗りつぶしモード(&P)"), this,
                              &TTranslucenPartsDlg::P1Click);
    PopupMenu->addSeparator();
    T1 = PopupMenu->addAction(QStringLiteral("透過部分指定(&T)"), this,
                              &TTranslucenPartsDlg::T1Click);
    N2 = PopupMenu->addAction(QStringLiteral("非透過部分指定(&N)"), this,
                              &TTranslucenPartsDlg::N2Click);
    F1->setObjectName(QStringLiteral("F1"));
    P1->setObjectName(QStringLiteral("P1"));
    T1->setObjectName(QStringLiteral("T1"));
    N2->setObjectName(QStringLiteral("N2"));

    // OK and キャンセル stacked at the foot of the narrow right-hand column.
    QHBoxLayout* buttons = OkCancelRow(this);
    buttons->setDirection(QBoxLayout::TopToBottom);
    // The row holds its stretch, then OK, then キャンセル.
    OKBtn = qobject_cast<QPushButton*>(buttons->itemAt(1)->widget());
    CancelBtn = qobject_cast<QPushButton*>(buttons->itemAt(2)->widget());
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    auto* panel = new QLabel(StatusBar);
    panel->setFixedWidth(300);
    StatusBar->addWidget(panel);

    auto* wayRow = new QHBoxLayout;
    auto* wayRadios = new QVBoxLayout;
    wayRadios->addWidget(Radio_ColorWay);
    wayRadios->addWidget(Radio_MaskWay);
    wayRow->addLayout(wayRadios);
    wayRow->addWidget(Button_Reverse, 0, Qt::AlignVCenter);

    auto* right = new QVBoxLayout;
    right->addLayout(wayRow);
    right->addWidget(Box_ColorWay);
    right->addWidget(Box_MaskWay);
    right->addLayout(buttons, 1);

    auto* body = new QHBoxLayout;
    body->addWidget(ScrollBox1, 0, Qt::AlignTop);
    body->addLayout(right, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* margins = new QVBoxLayout;
    margins->setContentsMargins(6, 6, 6, 6);
    margins->addLayout(body);
    layout->addLayout(margins, 1);
    layout->addWidget(StatusBar);
}

bool TTranslucenPartsDlg::colourWay() const
{
    return Radio_ColorWay->isChecked();
}

void TTranslucenPartsDlg::SetSourcePart(int n)
{
    const QImage& part = FParts.PartBitmap(n);
    FOverlay.SetSource(part);
    Lupe->SetBitmap(FOverlay.Source());
    Lupe->resize(FParts.PartWidth() * Lupe->Power(), FParts.PartHeight() * Lupe->Power());
    Button_FreeLine->setChecked(true);
    Radio_Trans->setChecked(true);
    ColorPanel->hide();
    MaskDrawing = false;
}

void TTranslucenPartsDlg::OverlayOnto(QImage& target) const
{
    FOverlay.OverlayOnto(target);
}

void TTranslucenPartsDlg::Radio_SelectWay()
{
    const bool colour = colourWay();
    Box_ColorWay->setVisible(colour);
    Box_MaskWay->setVisible(!colour);
    Lupe->SetPopupMenu(colour ? nullptr : PopupMenu);
}

void TTranslucenPartsDlg::LupeSourceMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers,
                                              const QPoint& pos)
{
    const int x = pos.x();
    const int y = pos.y();
    if (button != Qt::LeftButton)
        return;
    if (colourWay()) {
        if (!FOverlay.Contains(x, y))
            return;
        const QRgb c = FOverlay.Source().pixel(x, y);
        QPalette palette = ColorPanel->palette();
        palette.setColor(QPalette::Window, QColor(c));
        ColorPanel->setPalette(palette);
        ColorPanel->show();
        FOverlay.MakeFromColour(c);
        return;
    }
    MaskDrawing = true;
    const bool transparent = Radio_Trans->isChecked();
    if (Button_FreeLine->isChecked())
        FOverlay.SetPixel(x, y, transparent);
    else
        FOverlay.Fill(x, y, transparent);
}

void TTranslucenPartsDlg::LupeSourceMouseMove(Qt::KeyboardModifiers, const QPoint& pos)
{
    if (!MaskDrawing || colourWay() || !Button_FreeLine->isChecked())
        return;
    FOverlay.LineTo(pos.x(), pos.y(), Radio_Trans->isChecked());
}

void TTranslucenPartsDlg::LupeSourceMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&)
{
    MaskDrawing = false;
}

void TTranslucenPartsDlg::BlinkTimerTimer()
{
    Lupe->SetBitmap(FOverlay.BlinkPicture(BlinkPhase));
    BlinkPhase = 1 - BlinkPhase;
}

void TTranslucenPartsDlg::Button_ReverseClick()
{
    FOverlay.Reverse();
}

void TTranslucenPartsDlg::F1Click()
{
    Button_FreeLine->setChecked(true);
}

void TTranslucenPartsDlg::P1Click()
{
    Button_Paint->setChecked(true);
}

void TTranslucenPartsDlg::T1Click()
{
    Radio_Trans->setChecked(true);
}

void TTranslucenPartsDlg::N2Click()
{
    Radio_NotTrans->setChecked(true);
}
