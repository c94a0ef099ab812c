#pragma once

#include "LupeTransform.h"
#include "ProgramModels.h"
#include "Settings.h"

#include <QColor>
#include <QList>
#include <QWidget>
#include <array>

class QColorDialog;
class QComboBox;
class QFrame;
class QGroupBox;
class QRadioButton;
class QToolButton;

// "ツールボックス": the upper row chooses the map's tool mode and zoom level, the lower row
// holds the part-graphic tools. Shows only the upper row outside part-graphic mode. Every
// control shows a value of the settings model and changes it.
class TToolForm : public QWidget
{
    Q_OBJECT

public:
    // Restores the position from section "ToolBox", shows only the upper row.
    explicit TToolForm(const TProgramModels& models, QWidget* parent = nullptr);
    // Writes the position.
    ~TToolForm() override;

    // Creation (the position read), closing (only hidden) and destruction (the position
    // written).
    void FormCreate();
    void FormClose();
    void FormDestroy();

    // Shows both rows (part-graphic mode) or only the upper one.
    void ShowLowerRow(bool show);
    bool LowerRowShown() const;

    QColor DrawingColor() const;

    // Upper row.
    QToolButton* Button_Paint;
    QToolButton* Button_Region;
    QToolButton* Button_Scroll;
    QToolButton* Button_LupeMode;
    QToolButton* Button_Terrain;
    QGroupBox* GroupBox1;
    QRadioButton* ZoomRadio12; // "wide"
    QRadioButton* ZoomRadio1;  // "nomal"
    QRadioButton* ZoomRadio4;  // "zoom"

    // Lower row.
    QFrame* LupeColorPanel;
    QToolButton* Button_LupeFreeLine;
    QToolButton* Button_LupeLine;
    QToolButton* Button_Box;
    QToolButton* Button_BoxFill;
    QToolButton* Button_LupePaint;
    QToolButton* Button_ThinLine;
    QToolButton* Button_ThickLine;
    QToolButton* Button_HorizontalTurn;
    QToolButton* Button_VerticalTurn;
    QToolButton* Button_RotateLeft;
    QToolButton* Button_RotateRight;
    QColorDialog* ColorDlg;

    // The terrain row, in terrain mode: the chosen set and its colour.
    QFrame* TerrainPanel;
    QComboBox* TerrainSetCombo;
    QComboBox* TerrainColorCombo;

    // Shows a colour in the colour panel until the drawing colour changes (the colour
    // under the pointer during a pick in the magnifier).
    void ShowPanelColor(const QColor& color);

    // The mode buttons' handlers.
    void Button_PaintClick();
    void Button_RegionClick();
    void Button_ScrollClick();
    void Button_LupeModeClick();
    // The transforms of the magnifier's picture.
    void Button_HorizontalTurnClick();
    void Button_VerticalTurnClick();
    void Button_RotateLeftClick();
    void Button_RotateRightClick();

signals:
    // A mode button was clicked, also one already down: its map tool is to be entered.
    void mapToolClicked(TMapTool tool);
    // A transform button was clicked.
    void transformClicked(TLupeTransform transform);
    // The window was closed (it is only hidden).
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ZoomRadioClick();
    void LupeColorPanelClick();
    void Button_PenWidthClick();
    void connectSettings();
    void showMapTool(TMapTool tool);
    void showZoomLevel(TZoomLevel level);
    void showPixelTool(TPixelTool tool);
    void showPenWidth(int width);
    void showDrawingColor(const QColor& color);
    // The terrain row shows the store's sets and choice.
    void showTerrainSets();
    void showTerrainChoice();
    // The height of the rows shown.
    void fitRows();
    // The turns need square parts: for others the buttons are off and say why.
    void enableRotations();

    TProgramModels FModels;
    TSettings& FSettings;
    QList<QFrame*> FLowerRowPanels;
    std::array<QToolButton*, 5> FPixelToolButtons{};
    bool FLowerRowShown = false;
    // Whether the zoom radio button being clicked was checked before: only a click that
    // changes the choice applies the zoom.
    bool FZoomRadioWasChecked = false;
};
