#pragma once

#include "DragPreview.h"
#include "Settings.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class TDrawGrid;
class TMainFormLinks;
class TMapDocument;
class TMapSession;
class TPartGraphicEditor;
class TTerrainStore;

// What the map tools work on, given by the main window.
struct TMapToolContext
{
    TDrawGrid& Grid;
    TMapSession& Session;
    TMapDocument& Document; // the session's
    const TSettings& Settings;
    // Part-graphic editing in the magnifier over the current cell.
    TPartGraphicEditor& PartEditor;
    // The other windows' part: the selected part and the transparency dialog.
    TMainFormLinks& Links;
    // The terrain sets of the parts and the chosen terrain.
    TTerrainStore& Terrain;
};

// A tool of the map grid: what a press, a drag and a release of the mouse do, with its own
// drag state. Common to every tool: a press makes the pressed cell current (a press beyond
// the last cell starts no drag), the pointer's cell and part show while no button is down,
// and a right-button release picks the cell's part as a one-part group part.
class TMapGridTool : public QObject
{
    Q_OBJECT

public:
    explicit TMapGridTool(const TMapToolContext& context) : F(context) {}

    // Entering the tool: the grid's range selection and the pointer's cursor as the tool
    // wants them. Choosing the tool in use again activates it again without leaving it.
    virtual void Activate();
    // Leaving the tool for another: a drag in progress ends there, laying nothing, so that
    // the tool is not found dragging when it is chosen again.
    virtual void Deactivate();

    virtual Qt::CursorShape Cursor() const = 0;
    // Whether a left drag stretches the grid's selection.
    virtual bool SelectsRange() const = 0;
    // What the dragged rectangle shows now: the tool's preview while a button drags.
    TDragPreview Preview() const { return FDragging ? DragPreview() : TDragPreview::None; }

    void Press(Qt::MouseButton button, Qt::KeyboardModifiers keys, const QPoint& pos);
    void Move(Qt::KeyboardModifiers keys, const QPoint& pos);
    void Release(Qt::MouseButton button, Qt::KeyboardModifiers keys, const QPoint& pos);

    bool Dragging() const { return FDragging; }
    // The part a cell shows while a button drags: the tool's edit where it has one.
    virtual uint8_t PreviewPart(int col, int row) const;

    // Makes one tool of each kind.
    static std::unique_ptr<TMapGridTool> Make(TMapTool kind, const TMapToolContext& context);

signals:
    // The text for the status bar's first panel: the cell under the pointer and its part,
    // the dragged rectangle, the view's corner, a picked part; empty at a release.
    void statusChanged(const QString& text);
    // A right-button release took this part from the map as the group part.
    void partPicked(uint8_t part);

protected:
    // What the dragged rectangle shows while a button drags.
    virtual TDragPreview DragPreview() const = 0;
    // A move while a button is down, over the given cell (-1 beyond the last one). By
    // default a left drag shows the selection, a right drag the cell.
    virtual void Dragged(const QPoint& cell);
    // The left button's release, before the dragged cells are drawn again.
    virtual void LeftReleased(Qt::KeyboardModifiers) {}
    // A press that started a drag, after the pressed cell became the current one.
    virtual void Pressed() {}
    // The pointer's last viewport position, at the press or a move.
    QPoint PointerPos() const { return FPointer; }

    const TMapToolContext& F;
    Qt::MouseButton MapDragButton = Qt::NoButton;
    int MapDragCol = -1, MapDragRow = -1; // the cell under the pointer at the press

private:
    void pick(const QPoint& cell);

    bool FDragging = false;
    QPoint FPointer;
};

// Lays the group part over the dragged rectangle, tiled or at random; with Shift or Ctrl
// held at the release, lays one part over another in the pressed cell instead.
class TPaintTool : public TMapGridTool
{
public:
    using TMapGridTool::TMapGridTool;
    Qt::CursorShape Cursor() const override { return Qt::ArrowCursor; }
    bool SelectsRange() const override { return true; }

protected:
    TDragPreview DragPreview() const override { return TDragPreview::GroupTiles; }
    void LeftReleased(Qt::KeyboardModifiers keys) override;

private:
    // The selected part laid over the current cell's part (true), or the cell's part over
    // the selected part (false), through the transparency dialog, as one step of the
    // history.
    void overlayOnCell(bool selectedOverCell);
};

// Selects the region the editing commands work on; the selection stays after the release.
class TRegionTool : public TMapGridTool
{
public:
    using TMapGridTool::TMapGridTool;
    Qt::CursorShape Cursor() const override { return Qt::CrossCursor; }
    bool SelectsRange() const override { return true; }

protected:
    TDragPreview DragPreview() const override { return TDragPreview::Inverted; }
};

// Grabs the map: the grabbed cell stays under the pointer, whichever button drags.
class TScrollTool : public TMapGridTool
{
public:
    using TMapGridTool::TMapGridTool;
    Qt::CursorShape Cursor() const override { return Qt::SizeAllCursor; }
    bool SelectsRange() const override { return false; }

protected:
    TDragPreview DragPreview() const override { return TDragPreview::None; }
    void Dragged(const QPoint& cell) override;
};

// Part-graphic editing: the magnifier shows over the current cell while the tool is in use;
// a click stores the magnifier's picture into its part and moves the magnifier to the
// clicked cell; leaving the tool drops what was not stored.
class TLupeTool : public TMapGridTool
{
public:
    using TMapGridTool::TMapGridTool;
    void Activate() override;
    void Deactivate() override;
    Qt::CursorShape Cursor() const override { return Qt::ArrowCursor; }
    bool SelectsRange() const override { return false; }

protected:
    TDragPreview DragPreview() const override { return TDragPreview::Inverted; }
    void LeftReleased(Qt::KeyboardModifiers keys) override;

private:
    // The magnifier over the current cell with a copy of its part; none while that cell is
    // off the screen.
    void showMagnifier();
};

// The width the status panel needs for the widest texts the tools show there, on the largest
// map: the cell under the pointer with its part, a dragged rectangle, the scroll position,
// a jump target.
int MapStatusPanelWidth(const QLabel& panel);
