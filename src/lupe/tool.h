#pragma once

#include <QColor>
#include <QList>
#include <QWidget>

class QColorDialog;
class QFrame;
class QGroupBox;
class QRadioButton;
class QToolButton;
struct TForms;

// "ツールボックス": the upper row chooses the map's tool mode and zoom level, the lower row
// holds the part-graphic tools. Shows only the upper row outside part-graphic mode.
class TToolForm : public QWidget
{
    Q_OBJECT

public:
    // FormCreate: restores the position from section "ToolBox", shows only the upper row.
    explicit TToolForm(TForms& forms, QWidget* parent = nullptr);
    // FormDestroy: writes the position.
    ~TToolForm() override;

    // Shows both rows (part-graphic mode) or only the upper one.
    void ShowLowerRow(bool show);
    bool LowerRowShown() const;

    QColor DrawingColor() const;

    // Upper row.
    QToolButton* Button_Paint;
    QToolButton* Button_Region;
    QToolButton* Button_Scroll;
    QToolButton* Button_LupeMode;
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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ZoomRadioClick();
    void LupeColorPanelClick();
    void setDrawingColor(const QColor& color);

    TForms& FForms;
    QList<QFrame*> FLowerRowPanels;
    bool FLowerRowShown = false;
    QColor FDrawingColor = Qt::black;
    // Whether the zoom radio button being clicked was checked before: only a click that
    // changes the choice applies the zoom.
    bool FZoomRadioWasChecked = false;
};
