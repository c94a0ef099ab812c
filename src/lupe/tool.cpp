#include "tool.h"

#include "Dialogs.h"
#include "IniGT.h"
#include "PartsStore.h"
#include "PixelTools.h"
#include "Settings.h"
#include "TerrainStore.h"
#include "ToolGlyphs.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPixmap>
#include <QRadioButton>
#include <QToolButton>
#include <algorithm>
#include <functional>

namespace {

const QString IniSection = QStringLiteral("ToolBox");
const QString IniPrefix = QStringLiteral("WindowState");

// The mode buttons and the zoom group, then the terrain button at the right end.
constexpr int ClientWidth = 402;
constexpr int UpperRowHeight = 41; // client y 0..40
constexpr int BothRowsHeight = 82; // client y 0..81, the lower row at 48..81

// A frame that reports a left click, as the colour panel needs.
class TClickPanel : public QFrame
{
public:
    using QFrame::QFrame;
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QFrame::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
            OnClick)
            OnClick();
    }
};

// A flat button that never takes the focus, like the buttons of any tool palette.
QToolButton* makeToolButton(QWidget* parent, const char* name, const QString& hint,
                            TToolGlyph glyph, const QRect& geometry, bool checkable)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setCheckable(checkable);
    button->setFocusPolicy(Qt::NoFocus);
    const int size = toolGlyphSize(glyph);
    button->setIcon(toolGlyphIcon(glyph));
    button->setIconSize(QSize(size, size));
    button->setGeometry(geometry);
    return button;
}

// The panel under one group of the lower row: an etched edge, lowered outside and raised
// inside.
QFrame* makeGroupPanel(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    panel->setGeometry(geometry);
    return panel;
}

QRadioButton* makeZoomRadio(QWidget* parent, const char* name, const QString& caption,
                            const QString& hint, const QPoint& position)
{
    auto* radio = new QRadioButton(caption, parent);
    radio->setObjectName(QLatin1String(name));
    radio->setToolTip(hint);
    radio->move(position);
    return radio;
}

// The radio buttons sit at their places in the group box when their texts fit there; with a
// wider font they close up from the left edge, so that no text is cut off or covered.
void placeZoomRadios(QGroupBox* box, std::initializer_list<QRadioButton*> radios)
{
    const int right = box->width() - 3;
    QList<int> lefts;
    QList<int> widths;
    bool fits = true;
    int needed = 0;
    for (QRadioButton* radio : radios) {
        lefts << radio->x();
        widths << radio->sizeHint().width();
        needed += widths.last();
    }
    for (qsizetype i = 0; i < lefts.size(); ++i) {
        const int room = (i + 1 < lefts.size() ? lefts[i + 1] : right) - lefts[i];
        fits = fits && widths[i] <= room;
        if (fits)
            widths[i] = room;
    }
    if (!fits) {
        const int gap = std::max(0, (right - 4 - needed) / int(lefts.size()));
        int left = 4 + gap;
        for (qsizetype i = 0; i < lefts.size(); ++i) {
            lefts[i] = left;
            left += widths[i] + gap;
        }
    }
    int i = 0;
    for (QRadioButton* radio : radios) {
        radio->setGeometry(lefts[i], radio->y(), widths[i], radio->sizeHint().height());
        ++i;
    }
}

QButtonGroup* exclusiveGroup(QObject* owner, std::initializer_list<QToolButton*> buttons)
{
    auto* group = new QButtonGroup(owner);
    group->setExclusive(true);
    for (QToolButton* button : buttons)
        group->addButton(button);
    return group;
}

} // namespace

TToolForm::TToolForm(const TProgramModels& models, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FModels(models), FSettings(models.Settings)
{
    setObjectName(QStringLiteral("ToolForm"));
    setWindowTitle(QStringLiteral("ツールボックス"));

    // Upper row: the tool modes and the zoom level.
    const QSize modeSize(40, 40);
    Button_Paint = makeToolButton(this, "Button_Paint", QStringLiteral("マップの描画"),
                                  TToolGlyph::Pencil, QRect(QPoint(0, 0), modeSize), true);
    Button_Region = makeToolButton(this, "Button_Region", QStringLiteral("編集のための範囲指定"),
                                   TToolGlyph::Sheet, QRect(QPoint(40, 0), modeSize), true);
    Button_Scroll =
        makeToolButton(this, "Button_Scroll", QStringLiteral("マップを掴んでスクロール"),
                       TToolGlyph::Hand, QRect(QPoint(80, 0), modeSize), true);
    Button_LupeMode =
        makeToolButton(this, "Button_LupeMode", QStringLiteral("パーツグラフィック編集"),
                       TToolGlyph::Magnifier, QRect(QPoint(120, 0), modeSize), true);
    Button_Terrain = makeToolButton(this, "Button_Terrain", QStringLiteral("地形を描く"),
                                    TToolGlyph::Terrain, QRect(QPoint(362, 0), modeSize), true);
    exclusiveGroup(this,
                   {Button_Paint, Button_Region, Button_Scroll, Button_LupeMode, Button_Terrain});

    // The buttons show the map tool of the settings, whoever chose it; a click on a button
    // that is already down enters its mode again.
    connect(Button_Paint, &QToolButton::clicked, this, &TToolForm::Button_PaintClick);
    connect(Button_Region, &QToolButton::clicked, this, &TToolForm::Button_RegionClick);
    connect(Button_Scroll, &QToolButton::clicked, this, &TToolForm::Button_ScrollClick);
    connect(Button_LupeMode, &QToolButton::clicked, this, &TToolForm::Button_LupeModeClick);
    connect(Button_Terrain, &QToolButton::clicked, this,
            [this] { emit mapToolClicked(mtTerrain); });

    GroupBox1 = new QGroupBox(QStringLiteral("表示倍率"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(168, 0, 193, 40);
    ZoomRadio12 = makeZoomRadio(GroupBox1, "ZoomRadio12", QStringLiteral("wide"),
                                QStringLiteral("パーツを小さく表示"), QPoint(16, 16));
    ZoomRadio1 = makeZoomRadio(GroupBox1, "ZoomRadio1", QStringLiteral("nomal"),
                               QStringLiteral("パーツを通常サイズで表示"), QPoint(72, 15));
    ZoomRadio4 = makeZoomRadio(GroupBox1, "ZoomRadio4", QStringLiteral("zoom"),
                               QStringLiteral("パーツを大きく表示"), QPoint(128, 15));
    placeZoomRadios(GroupBox1, {ZoomRadio12, ZoomRadio1, ZoomRadio4});
    // The buttons show the zoom level of the settings; only the user's choice of another
    // level changes it. pressed comes before the button changes, also for the keyboard.
    for (QRadioButton* radio : {ZoomRadio12, ZoomRadio1, ZoomRadio4}) {
        connect(radio, &QRadioButton::pressed, this,
                [this, radio] { FZoomRadioWasChecked = radio->isChecked(); });
        connect(radio, &QRadioButton::clicked, this, [this] {
            if (!FZoomRadioWasChecked)
                ZoomRadioClick();
        });
    }

    // Lower row: part-graphic editing.
    const QSize smallSize(23, 22);
    QFrame* panel3 = makeGroupPanel(this, "Panel3", QRect(0, 48, 41, 33));
    auto* colorPanel = new TClickPanel(panel3);
    colorPanel->setObjectName(QStringLiteral("LupeColorPanel"));
    colorPanel->setToolTip(QStringLiteral("クリックすると、色選択ダイアログの表示"));
    colorPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    colorPanel->setAutoFillBackground(true);
    colorPanel->setGeometry(8, 6, 25, 22);
    colorPanel->OnClick = [this] { LupeColorPanelClick(); };
    LupeColorPanel = colorPanel;

    // The pixel tool of the settings.
    QFrame* panel1 = makeGroupPanel(this, "Panel1", QRect(40, 48, 137, 33));
    Button_LupeFreeLine =
        makeToolButton(panel1, "Button_LupeFreeLine", QStringLiteral("フリーハンド"),
                       TToolGlyph::FreeLine, QRect(QPoint(8, 6), smallSize), true);
    Button_LupeLine = makeToolButton(panel1, "Button_LupeLine", QStringLiteral("直線"),
                                     TToolGlyph::Line, QRect(QPoint(32, 6), smallSize), true);
    Button_Box = makeToolButton(panel1, "Button_Box", QStringLiteral("ボックス"), TToolGlyph::Box,
                                QRect(QPoint(56, 6), smallSize), true);
    Button_BoxFill = makeToolButton(panel1, "Button_BoxFill", QStringLiteral("塗りつぶしボックス"),
                                    TToolGlyph::BoxFill, QRect(QPoint(80, 6), smallSize), true);
    Button_LupePaint =
        makeToolButton(panel1, "Button_LupePaint", QStringLiteral("閉鎖域の塗りつぶし"),
                       TToolGlyph::Bucket, QRect(QPoint(104, 6), smallSize), true);
    exclusiveGroup(
        this, {Button_LupeFreeLine, Button_LupeLine, Button_Box, Button_BoxFill, Button_LupePaint});
    FPixelToolButtons = {Button_LupeFreeLine, Button_LupeLine, Button_Box, Button_BoxFill,
                         Button_LupePaint};
    for (int tool = ptFreeLine; tool <= ptPaint; ++tool) {
        connect(FPixelToolButtons[tool], &QToolButton::clicked, this,
                [this, tool] { FSettings.SetPixelTool(TPixelTool(tool)); });
    }

    // The pen width of the settings.
    QFrame* panel2 = makeGroupPanel(this, "Panel2", QRect(176, 48, 65, 33));
    Button_ThinLine = makeToolButton(panel2, "Button_ThinLine", QStringLiteral("ペン-細"),
                                     TToolGlyph::ThinLine, QRect(QPoint(8, 6), smallSize), true);
    Button_ThickLine = makeToolButton(panel2, "Button_ThickLine", QStringLiteral("ペン-太"),
                                      TToolGlyph::ThickLine, QRect(QPoint(32, 6), smallSize), true);
    exclusiveGroup(this, {Button_ThinLine, Button_ThickLine});
    connect(Button_ThinLine, &QToolButton::clicked, this, &TToolForm::Button_PenWidthClick);
    connect(Button_ThickLine, &QToolButton::clicked, this, &TToolForm::Button_PenWidthClick);

    QFrame* panel4 = makeGroupPanel(this, "Panel4", QRect(248, 48, 113, 33));
    Button_HorizontalTurn =
        makeToolButton(panel4, "Button_HorizontalTurn", QStringLiteral("左右反転"),
                       TToolGlyph::FlipHorizontal, QRect(QPoint(8, 6), smallSize), false);
    Button_VerticalTurn =
        makeToolButton(panel4, "Button_VerticalTurn", QStringLiteral("上下反転"),
                       TToolGlyph::FlipVertical, QRect(QPoint(32, 6), smallSize), false);
    Button_RotateLeft =
        makeToolButton(panel4, "Button_RotateLeft", QStringLiteral("左90度回転"),
                       TToolGlyph::RotateLeft, QRect(QPoint(56, 6), smallSize), false);
    Button_RotateRight =
        makeToolButton(panel4, "Button_RotateRight", QStringLiteral("右90度回転"),
                       TToolGlyph::RotateRight, QRect(QPoint(80, 6), smallSize), false);
    FLowerRowPanels = {panel3, panel1, panel2, panel4};
    connect(Button_HorizontalTurn, &QToolButton::clicked, this,
            &TToolForm::Button_HorizontalTurnClick);
    connect(Button_VerticalTurn, &QToolButton::clicked, this, &TToolForm::Button_VerticalTurnClick);
    connect(Button_RotateLeft, &QToolButton::clicked, this, &TToolForm::Button_RotateLeftClick);
    connect(Button_RotateRight, &QToolButton::clicked, this, &TToolForm::Button_RotateRightClick);
    enableRotations();
    connect(&FModels.Parts, &TPartsStore::partsResized, this, &TToolForm::enableRotations);

    ColorDlg = new QColorDialog(this);
    ColorDlg->setObjectName(QStringLiteral("ColorDlg"));
    ColorDlg->setOption(QColorDialog::DontUseNativeDialog);

    // The terrain row takes the lower row's place.
    TerrainPanel = makeGroupPanel(this, "TerrainPanel", QRect(0, 48, ClientWidth - 1, 33));
    auto* terrainRow = new QHBoxLayout(TerrainPanel);
    terrainRow->setContentsMargins(6, 4, 6, 4);
    TerrainSetCombo = new QComboBox(TerrainPanel);
    TerrainSetCombo->setObjectName(QStringLiteral("TerrainSetCombo"));
    TerrainSetCombo->setToolTip(QStringLiteral("地形セット"));
    TerrainSetCombo->setFocusPolicy(Qt::NoFocus);
    TerrainColorCombo = new QComboBox(TerrainPanel);
    TerrainColorCombo->setObjectName(QStringLiteral("TerrainColorCombo"));
    TerrainColorCombo->setToolTip(QStringLiteral("描く地形"));
    TerrainColorCombo->setFocusPolicy(Qt::NoFocus);
    terrainRow->addWidget(TerrainSetCombo, 1);
    terrainRow->addWidget(TerrainColorCombo, 1);
    TerrainPanel->hide();
    connect(TerrainSetCombo, &QComboBox::activated, this,
            [this](int set) { FModels.Terrain.Choose(set, 1); });
    connect(TerrainColorCombo, &QComboBox::activated, this,
            [this](int color) { FModels.Terrain.Choose(FModels.Terrain.SetIndex(), color + 1); });
    connect(&FModels.Terrain, &TTerrainStore::setsChanged, this, &TToolForm::showTerrainSets);
    connect(&FModels.Terrain, &TTerrainStore::choiceChanged, this, &TToolForm::showTerrainChoice);
    showTerrainSets();
    showTerrainChoice();

    connectSettings();
    showMapTool(FSettings.MapTool());
    showZoomLevel(FSettings.ZoomLevel());
    showPixelTool(FSettings.PixelTool());
    showPenWidth(FSettings.PenWidth());
    showDrawingColor(FSettings.DrawingColor());
    SetStaysOnTop(this, FSettings.ToolsOnTop());
    FormCreate();
}

void TToolForm::FormCreate()
{
    // Without a stored position the window system places the window: moving it
    // to a default would pin it to the screen's corner.
    TIniGT& ini = FModels.IniGT;
    if (!ini.ReadString(IniSection, IniPrefix + QStringLiteral(".X"), QString()).isEmpty() ||
        !ini.ReadString(IniSection, IniPrefix + QStringLiteral(".Y"), QString()).isEmpty())
        ini.ReadPosition(IniSection, IniPrefix, this);
}

void TToolForm::connectSettings()
{
    connect(&FSettings, &TSettings::mapToolChanged, this, &TToolForm::showMapTool);
    connect(&FSettings, &TSettings::zoomLevelChanged, this, &TToolForm::showZoomLevel);
    connect(&FSettings, &TSettings::pixelToolChanged, this, &TToolForm::showPixelTool);
    connect(&FSettings, &TSettings::penWidthChanged, this, &TToolForm::showPenWidth);
    connect(&FSettings, &TSettings::drawingColorChanged, this, &TToolForm::showDrawingColor);
    connect(&FSettings, &TSettings::toolsOnTopChanged, this,
            [this](bool onTop) { SetStaysOnTop(this, onTop); });
}

TToolForm::~TToolForm()
{
    FormDestroy();
}

void TToolForm::FormDestroy()
{
    // Only the position is kept, not the size or whether the window is shown.
    try {
        FModels.IniGT.WritePosition(IniSection, IniPrefix, this);
    } catch (const EIniGTWriteError& e) {
        ShowError(nullptr, e.message()); // reported; the program is ending anyway
    }
}

void TToolForm::ShowLowerRow(bool show)
{
    FLowerRowShown = show;
    // Hidden rather than only cut off, so that nothing reaches the controls out of sight.
    for (QFrame* panel : FLowerRowPanels)
        panel->setVisible(show);
    fitRows();
}

void TToolForm::fitRows()
{
    const bool lower = FLowerRowShown || TerrainPanel->isVisibleTo(this);
    setFixedSize(ClientWidth, lower ? BothRowsHeight : UpperRowHeight);
}

void TToolForm::showTerrainSets()
{
    TerrainSetCombo->clear();
    for (const TWangSet& set : FModels.Terrain.Sets())
        TerrainSetCombo->addItem(set.Name);
    TerrainSetCombo->setEnabled(!FModels.Terrain.Sets().empty());
    TerrainSetCombo->setToolTip(FModels.Terrain.Sets().empty() ? FModels.Terrain.Problem()
                                                               : QStringLiteral("地形セット"));
}

void TToolForm::showTerrainChoice()
{
    if (TerrainSetCombo->currentIndex() != FModels.Terrain.SetIndex())
        TerrainSetCombo->setCurrentIndex(FModels.Terrain.SetIndex());
    TerrainColorCombo->clear();
    if (const TWangSet* set = FModels.Terrain.ChosenSet()) {
        // Each terrain with a swatch of its colour.
        for (const TWangColor& color : set->Colors) {
            QPixmap swatch(14, 14);
            swatch.fill(color.Color);
            TerrainColorCombo->addItem(QIcon(swatch), color.Name);
        }
        TerrainColorCombo->setCurrentIndex(FModels.Terrain.Color() - 1);
    }
    TerrainColorCombo->setEnabled(TerrainColorCombo->count() > 0);
}

bool TToolForm::LowerRowShown() const
{
    return FLowerRowShown;
}

QColor TToolForm::DrawingColor() const
{
    return FSettings.DrawingColor();
}

void TToolForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    FormClose();
}

void TToolForm::FormClose()
{
    // Closing only hides the tool box; the View menu shows it again.
    emit closed();
}

void TToolForm::Button_PaintClick()
{
    emit mapToolClicked(mtPaint);
}

void TToolForm::Button_RegionClick()
{
    emit mapToolClicked(mtRegion);
}

void TToolForm::Button_ScrollClick()
{
    emit mapToolClicked(mtScroll);
}

void TToolForm::Button_LupeModeClick()
{
    emit mapToolClicked(mtLupe);
}

void TToolForm::Button_HorizontalTurnClick()
{
    emit transformClicked(ltFlipHorizontal);
}

void TToolForm::Button_VerticalTurnClick()
{
    emit transformClicked(ltFlipVertical);
}

void TToolForm::Button_RotateLeftClick()
{
    emit transformClicked(ltRotateLeft);
}

void TToolForm::Button_RotateRightClick()
{
    emit transformClicked(ltRotateRight);
}

void TToolForm::enableRotations()
{
    const bool square =
        TPixelTools::CanRotate(QSize(FModels.Parts.PartWidth(), FModels.Parts.PartHeight()));
    const QString why =
        square ? QString() : QStringLiteral("（縦横の大きさが同じパーツだけ回転できます）");
    Button_RotateLeft->setEnabled(square);
    Button_RotateRight->setEnabled(square);
    Button_RotateLeft->setToolTip(QStringLiteral("左90度回転") + why);
    Button_RotateRight->setToolTip(QStringLiteral("右90度回転") + why);
}

void TToolForm::ShowPanelColor(const QColor& color)
{
    showDrawingColor(color);
}

void TToolForm::ZoomRadioClick()
{
    FSettings.SetZoomLevel(ZoomRadio12->isChecked()  ? zlWide
                           : ZoomRadio4->isChecked() ? zlZoom
                                                     : zlNormal);
}

void TToolForm::Button_PenWidthClick()
{
    // Shared by both width buttons: the one now down gives the width.
    if (Button_ThinLine->isChecked())
        FSettings.SetPenWidth(TSettings::ThinPenWidth);
    else if (Button_ThickLine->isChecked())
        FSettings.SetPenWidth(TSettings::ThickPenWidth);
}

void TToolForm::LupeColorPanelClick()
{
    ColorDlg->setCurrentColor(FSettings.DrawingColor());
    if (RunModal(ColorDlg) == QDialog::Accepted)
        FSettings.SetDrawingColor(ColorDlg->currentColor());
}

void TToolForm::showMapTool(TMapTool tool)
{
    QToolButton* buttons[] = {Button_Paint, Button_Region, Button_Scroll, Button_LupeMode,
                              Button_Terrain};
    buttons[tool]->setChecked(true);
    TerrainPanel->setVisible(tool == mtTerrain);
    ShowLowerRow(tool == mtLupe);
}

void TToolForm::showZoomLevel(TZoomLevel level)
{
    QRadioButton* radios[] = {ZoomRadio12, ZoomRadio1, ZoomRadio4};
    radios[level]->setChecked(true);
    Button_LupeMode->setEnabled(level == zlZoom);
}

void TToolForm::showPixelTool(TPixelTool tool)
{
    FPixelToolButtons[tool]->setChecked(true);
}

void TToolForm::showPenWidth(int width)
{
    (width == TSettings::ThickPenWidth ? Button_ThickLine : Button_ThinLine)->setChecked(true);
}

void TToolForm::showDrawingColor(const QColor& color)
{
    QPalette palette = LupeColorPanel->palette();
    palette.setColor(QPalette::Window, color);
    LupeColorPanel->setPalette(palette);
}
