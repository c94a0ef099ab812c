#pragma once

#include "CellRect.h"
#include "TerrainEdit.h"

#include <QDockWidget>
#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPainter;
class QPushButton;
class QMainWindow;
class QToolButton;
class TDrawGrid;
class TTerrainStore;

// The parts window's terrain editor: the sets of the parts picture's terrain file, their
// colours, and the parts' colours at their corners and edges, marked by clicking the parts
// grid. While it is shown the grid shows the current set's colours over the parts, and a
// click on a part (when marking is on) sets the place under the pointer to the current
// colour (a drag, every place it crosses); the right button, or the left with Ctrl, clears.
// Every edit goes to the terrain store, which paints with it at once and writes the file;
// the window's status bar says when that fails.
class TTerrainEditor : public QDockWidget
{
    Q_OBJECT

public:
    // Takes over the grid's cell drawing and mouse events, handing them on when not marking.
    TTerrainEditor(TDrawGrid& grid, TTerrainStore& store, QMainWindow* window);

    // The set (index into the store's sheet, -1: none) and the colour (1.., 0: none)
    // being edited.
    int CurrentSet() const { return FSet; }
    int CurrentColor() const { return FColor; }
    void SelectSet(int set);
    void SelectColor(int color);

    // Operations of the buttons, public for the tests.
    void AddSet();
    void DeleteSet();
    void AddColor();
    void DeleteColor();
    void SetRepresentativePart();
    // Lays the layout with the grid's current part at the top-left; false, with the reason
    // in the status bar, when it does not fit.
    bool StampLayout(TerrainEdit::TLayout layout);

    QComboBox* SetCombo;
    QLineEdit* SetName;
    QComboBox* SetType;
    QListWidget* ColorList;
    QLineEdit* ColorName;
    QToolButton* ColorSwatch;
    QLabel* Representative;
    QComboBox* OtherColor;
    QCheckBox* Marking;
    QLabel* Problem;

private:
    // A press and drag on the grid that marks: the sheet with the places marked so far.
    struct TDrag
    {
        TTerrainSheet Sheet;
        TCellRect Cells;
        bool Changed;
        bool Clear;  // the right button, or Ctrl
        QPoint Last; // where the pointer was last marked
    };

    void build();
    void takeOverGrid();
    // Whether a press on the grid marks.
    bool marking() const;
    void updateGridOptions();
    // Sets (or clears) the place under a viewport point of the grid in the drag's sheet.
    void markAt(const QPoint& pos);
    // Marks the places along the way from the last point, so a quick drag leaves no gaps.
    void markTo(const QPoint& pos);
    // Shows the store's sheet in the controls, keeping the current set and colour in range.
    void showSheet();
    void showColors();
    void enableControls();
    // Applies an edit of the current set (or of the sheet when `set` is null) through the
    // store; `parts` are the grid cells to repaint, every cell when null.
    void edit(const std::function<bool(TTerrainSheet& sheet, TWangSet* set)>& change,
              const TCellRect* parts = nullptr);
    void takeIds();
    void drawMarks(QPainter& canvas, int part, const QRect& rect) const;
    // The store paints with the set and colour being edited when it can, and the editor
    // shows the set and colour the store paints with.
    void chooseInStore();
    void followChoice();
    const TWangSet* currentSet() const;
    int selectedPart() const;
    void say(const QString& text);

    TDrawGrid& FGrid;
    TTerrainStore& FStore;
    QMainWindow* FWindow;
    int FSet = -1;
    int FColor = 0;
    bool FEditing = false; // the store's signals come from an edit of this editor
    std::optional<TDrag> FDrag;
    // The current set's colours per part, and their colours as drawn.
    std::array<TWangId, TerrainEdit::SheetSide * TerrainEdit::SheetSide> FIds{};
    std::vector<QColor> FShown; // translucent
    std::vector<QColor> FSolid;
    TWangType FType = TWangType::Corner;
};
