#include "DrawGrid.h"
#include "TerrainEditor.h"
#include "TerrainStore.h"

#include <QCheckBox>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdlib>

// The terrain editor on the parts grid: the marks drawn over the parts, and the presses and
// drags that set them.

using namespace TerrainEdit;

void TTerrainEditor::takeOverGrid()
{
    auto draw = std::move(FGrid.OnDrawCell);
    FGrid.OnDrawCell = [this, draw](QPainter& canvas, int col, int row, const QRect& rect,
                                    TGridDrawState state) {
        if (draw)
            draw(canvas, col, row, rect, state);
        if (isVisible() && currentSet())
            drawMarks(canvas, row * SheetSide + col, rect);
    };
    // A press that marks is the editor's, through its release: it picks no part for the map
    // and opens no menu. The places the drag passes over are marked too, all as one edit.
    auto down = std::move(FGrid.OnMouseDown);
    FGrid.OnMouseDown = [this, down](Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                     const QPoint& pos) {
        const QPoint cell = FGrid.MouseToCell(pos);
        if (marking() && cell.x() >= 0 && cell.y() >= 0) {
            FDrag.emplace(TDrag{FStore.Sheet(),
                                {},
                                false,
                                button == Qt::RightButton || shift.testFlag(Qt::ControlModifier),
                                pos});
            markAt(pos);
        } else if (down) {
            down(button, shift, pos);
        }
    };
    auto move = std::move(FGrid.OnMouseMove);
    FGrid.OnMouseMove = [this, move](Qt::KeyboardModifiers shift, const QPoint& pos) {
        if (FDrag)
            markTo(pos);
        else if (move)
            move(shift, pos);
    };
    auto up = std::move(FGrid.OnMouseUp);
    FGrid.OnMouseUp = [this, up](Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                 const QPoint& pos) {
        if (!FDrag) {
            if (up)
                up(button, shift, pos);
            return;
        }
        const TDrag drag = std::move(*FDrag);
        FDrag.reset();
        if (drag.Changed)
            edit(
                [&](TTerrainSheet& sheet, TWangSet*) {
                    sheet = drag.Sheet;
                    return true;
                },
                &drag.Cells);
    };
    connect(Marking, &QCheckBox::toggled, this, &TTerrainEditor::updateGridOptions);
    connect(this, &QDockWidget::visibilityChanged, this, &TTerrainEditor::updateGridOptions);
}

bool TTerrainEditor::marking() const
{
    return isVisible() && Marking->isChecked() && currentSet() && FStore.EditProblem().isEmpty();
}

void TTerrainEditor::updateGridOptions()
{
    // While marking, a drag marks places rather than selecting parts.
    const TGridOptions options = FGrid.Options();
    FGrid.SetOptions(marking() ? options & ~TGridOptions(goRangeSelect) : options | goRangeSelect);
}

void TTerrainEditor::markAt(const QPoint& pos)
{
    const QPoint cell = FGrid.MouseToCell(pos);
    if (!FDrag || FSet >= int(FDrag->Sheet.Sets.size()) || cell.x() < 0 || cell.y() < 0 ||
        (!FDrag->Clear && FColor < 1))
        return;
    TWangSet& set = FDrag->Sheet.Sets[size_t(FSet)];
    const QRect rect = FGrid.CellRect(cell.x(), cell.y());
    const QPointF local((pos.x() - rect.left() + 0.5) / std::max(1, rect.width()),
                        (pos.y() - rect.top() + 0.5) / std::max(1, rect.height()));
    const int part = cell.y() * SheetSide + cell.x();
    if (!SetPlace(set, part, PlaceAt(set.Type, local), FDrag->Clear ? 0 : uint8_t(FColor)))
        return;
    // Shown at once; the store has it at the release.
    FIds[size_t(part)] = IdOf(set, part);
    FGrid.InvalidateCell(cell.x(), cell.y());
    TCellRect& cells = FDrag->Cells;
    cells = FDrag->Changed
                ? TCellRect{std::min(cells.Left, cell.x()), std::min(cells.Top, cell.y()),
                            std::max(cells.Right, cell.x()), std::max(cells.Bottom, cell.y())}
                : TCellRect{cell.x(), cell.y(), cell.x(), cell.y()};
    FDrag->Changed = true;
}

void TTerrainEditor::markTo(const QPoint& pos)
{
    const QPoint from = FDrag->Last;
    FDrag->Last = pos;
    // Steps of a sixth of a part: no place of a mixed set (a third of a side) is skipped.
    const QRect cell = FGrid.CellRect(0, 0);
    const int step = std::max(1, std::min(cell.width(), cell.height()) / 6);
    const QPoint way = pos - from;
    const int steps = std::max(1, std::max(std::abs(way.x()), std::abs(way.y())) / step);
    for (int i = 1; i <= steps && FDrag; ++i)
        markAt(from + way * i / steps);
}

void TTerrainEditor::takeIds()
{
    FIds.fill(TWangId{});
    FShown.clear();
    FSolid.clear();
    const TWangSet* set = currentSet();
    if (!set)
        return;
    FType = set->Type;
    for (const TWangTile& tile : set->Tiles) {
        if (tile.TileId >= 0 && tile.TileId < int(FIds.size()))
            FIds[size_t(tile.TileId)] = tile.WangId;
    }
    for (const TWangColor& color : set->Colors) {
        QColor shown = color.Color;
        FSolid.push_back(shown);
        shown.setAlpha(130);
        FShown.push_back(shown);
    }
}

void TTerrainEditor::drawMarks(QPainter& canvas, int part, const QRect& rect) const
{
    const TWangId& id = FIds[size_t(part)];
    if (std::all_of(id.begin(), id.end(), [](uint8_t c) { return c == 0; }))
        return;
    // Filled without touching the painter's pen and brush, only its mode for the cell.
    const QPainter::CompositionMode mode = canvas.compositionMode();
    canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const int x = rect.left(), y = rect.top(), w = rect.width(), h = rect.height();
    // Where the places' regions split the part: halves, or thirds for a mixed set.
    const int xs[4] = {x, x + w / 3, x + w - w / 3, x + w};
    const int ys[4] = {y, y + h / 3, y + h - h / 3, y + h};
    for (int place = 0; place < 8; ++place) {
        const uint8_t c = id[place];
        if (c == 0 || c > FShown.size())
            continue;
        const QColor& color = FShown[c - 1];
        if (FType == TWangType::Mixed) {
            // The ninth of the place: corners in the corners, sides between them.
            static constexpr int Column[8] = {1, 2, 2, 2, 1, 0, 0, 0};
            static constexpr int Row[8] = {0, 0, 1, 2, 2, 2, 1, 0};
            canvas.fillRect(QRect(QPoint(xs[Column[place]], ys[Row[place]]),
                                  QPoint(xs[Column[place] + 1] - 1, ys[Row[place] + 1] - 1)),
                            color);
        } else if (place % 2) {
            // A corner's quarter.
            const bool right = place == Wang::TopRight || place == Wang::BottomRight;
            const bool bottom = place == Wang::BottomRight || place == Wang::BottomLeft;
            canvas.fillRect(right ? x + w / 2 : x, bottom ? y + h / 2 : y,
                            right ? w - w / 2 : w / 2, bottom ? h - h / 2 : h / 2, color);
        } else {
            // A side's triangle, from the middle of the part.
            static constexpr int Corner[8][2] = {{0, 0}, {1, 0}, {1, 0}, {1, 1},
                                                 {1, 1}, {0, 1}, {0, 1}, {0, 0}};
            const int first = place == 0 ? 7 : place - 1;
            QPainterPath triangle(QPointF(x + w / 2.0, y + h / 2.0));
            triangle.lineTo(x + Corner[first][0] * w, y + Corner[first][1] * h);
            triangle.lineTo(x + Corner[place + 1][0] * w, y + Corner[place + 1][1] * h);
            triangle.closeSubpath();
            canvas.fillPath(triangle, color);
        }
    }
    // A solid dot near each marked place, so that a terrain shows also over parts of its
    // own colour.
    static constexpr int PlaceX[8] = {1, 2, 2, 2, 1, 0, 0, 0};
    static constexpr int PlaceY[8] = {0, 0, 1, 2, 2, 2, 1, 0};
    const int dot = std::max(3, std::min(w, h) / 7);
    for (int place = 0; place < 8; ++place) {
        const uint8_t c = id[place];
        if (c == 0 || c > FSolid.size())
            continue;
        // 15% in from the part's edge at a corner or side, at the middle between them.
        const int cx = x + (w * (3 + 7 * PlaceX[place])) / 20;
        const int cy = y + (h * (3 + 7 * PlaceY[place])) / 20;
        const QRect box(cx - dot / 2, cy - dot / 2, dot, dot);
        canvas.fillRect(box, Qt::black);
        canvas.fillRect(box.adjusted(1, 1, -1, -1), FSolid[c - 1]);
    }
    canvas.setCompositionMode(mode);
}
