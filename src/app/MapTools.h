#pragma once

#include "Settings.h"

#include <QPoint>
#include <QString>
#include <functional>
#include <memory>

class TDrawGrid;
class TMapDocument;

// What the map tools work on, given by the main window.
struct TMapToolContext
{
    TDrawGrid& Grid;
    TMapDocument& Document;
    const TSettings& Settings;
    std::function<void(const QString&)> ShowStatus; // the status bar's first panel
    // Part-graphic editing: the magnifier's picture goes back into its part, then the
    // magnifier moves to the current cell.
    std::function<void()> CommitMagnifier;
    // Paint mode with Shift or Ctrl: the selected part laid over the current cell's part
    // (true), or the cell's part over the selected part (false), through the transparency
    // dialog.
    std::function<void(bool selectedOverCell)> OverlayOnCell;
    std::function<void(uint8_t)> PartPicked; // a right-button pick took this part
};

// A tool of the map grid: what a press, a drag and a release of the mouse do, with its own
// drag state. Common to every tool: a press makes the pressed cell current (a press beyond
// the last cell starts no drag), the pointer's cell and part show while no button is down,
// and a right-button release picks the cell's part as a one-part group part.
class TMapGridTool
{
public:
    explicit TMapGridTool(const TMapToolContext& context) : F(context) {}
    virtual ~TMapGridTool() = default;
    TMapGridTool(const TMapGridTool&) = delete;
    TMapGridTool& operator=(const TMapGridTool&) = delete;

    virtual Qt::CursorShape Cursor() const = 0;
    // Whether a left drag stretches the grid's selection.
    virtual bool SelectsRange() const = 0;

    void Press(Qt::MouseButton button, Qt::KeyboardModifiers keys, const QPoint& pos);
    void Move(Qt::KeyboardModifiers keys, const QPoint& pos);
    void Release(Qt::MouseButton button, Qt::KeyboardModifiers keys, const QPoint& pos);

    bool Dragging() const { return FDragging; }

    // Makes one tool of each kind.
    static std::unique_ptr<TMapGridTool> Make(TMapTool kind, const TMapToolContext& context);

protected:
    // A move while a button is down, over the given cell (-1 beyond the last one). By
    // default a left drag shows the selection, a right drag the cell.
    virtual void Dragged(const QPoint& cell);
    // The left button's release, before the dragged cells are drawn again.
    virtual void LeftReleased(Qt::KeyboardModifiers) {}

    const TMapToolContext& F;
    Qt::MouseButton MapDragButton = Qt::NoButton;
    int MapDragCol = -1, MapDragRow = -1; // the cell under the pointer at the press

private:
    void pick(const QPoint& cell);

    bool FDragging = false;
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
    void LeftReleased(Qt::KeyboardModifiers keys) override;
};

// Selects the region the editing commands work on; the selection stays after the release.
class TRegionTool : public TMapGridTool
{
public:
    using TMapGridTool::TMapGridTool;
    Qt::CursorShape Cursor() const override { return Qt::CrossCursor; }
    bool SelectsRange() const override { return true; }
};

// Grabs the map: the grabbed cell stays under the pointer, whichever button drags.
class TScrollTool : public TMapGridTool
{
public:
    using TMapGridTool::TMapGridTool;
    Qt::CursorShape Cursor() const override { return Qt::SizeAllCursor; }
    bool SelectsRange() const override { return false; }

protected:
    void Dragged(const QPoint& cell) override;
};

// Part-graphic editing: a click stores the magnifier's picture into its part and moves the
// magnifier to the clicked cell.
class TLupeTool : public TMapGridTool
{
public:
    using TMapGridTool::TMapGridTool;
    Qt::CursorShape Cursor() const override { return Qt::ArrowCursor; }
    bool SelectsRange() const override { return false; }

protected:
    void LeftReleased(Qt::KeyboardModifiers keys) override;
};
