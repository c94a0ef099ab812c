#include "GridSelection.h"

#include <Qt>

namespace {

// Adds the cells of a that are not in b, as up to four rectangles.
void addDifference(const TGridRect& a, const TGridRect& b, std::vector<TGridRect>& out)
{
    if (a.Right < b.Left || b.Right < a.Left || a.Bottom < b.Top || b.Bottom < a.Top) {
        out.push_back(a);
        return;
    }
    if (a.Top < b.Top)
        out.push_back({a.Left, a.Top, a.Right, b.Top - 1});
    if (a.Bottom > b.Bottom)
        out.push_back({a.Left, b.Bottom + 1, a.Right, a.Bottom});
    const int top = std::max(a.Top, b.Top);
    const int bottom = std::min(a.Bottom, b.Bottom);
    if (a.Left < b.Left)
        out.push_back({a.Left, top, b.Left - 1, bottom});
    if (a.Right > b.Right)
        out.push_back({b.Right + 1, top, a.Right, bottom});
}

} // namespace

TGridRect TGridSelection::Rect() const
{
    return TGridRect{FAnchorCol, FAnchorRow, FCol, FRow}.NormalizeRect();
}

void TGridSelection::MoveCurrent(int col, int row, bool withAnchor)
{
    FCol = col;
    FRow = row;
    if (withAnchor)
        MoveAnchor(col, row);
}

void TGridSelection::MoveAnchor(int col, int row)
{
    FAnchorCol = col;
    FAnchorRow = row;
}

void TGridSelection::Set(const TGridRect& rect)
{
    FAnchorCol = rect.Left;
    FAnchorRow = rect.Top;
    FCol = rect.Right;
    FRow = rect.Bottom;
}

void TGridSelection::LimitCols(int count)
{
    FCol = std::min(FCol, count - 1);
    FAnchorCol = std::min(FAnchorCol, count - 1);
}

void TGridSelection::LimitRows(int count)
{
    FRow = std::min(FRow, count - 1);
    FAnchorRow = std::min(FAnchorRow, count - 1);
}

std::vector<TGridRect> TGridSelection::ChangedSince(const TGridSelection& before) const
{
    std::vector<TGridRect> blocks;
    const TGridRect now = Rect();
    const TGridRect old = before.Rect();
    if (now != old) {
        addDifference(old, now, blocks);
        addDifference(now, old, blocks);
    }
    return blocks;
}

std::optional<TGridKeyMove> GridKeyMove(const TGridGeometry& geo, const QSize& view, int key,
                                        bool ctrl, const QPoint& cell)
{
    int col = cell.x();
    int row = cell.y();
    int left = geo.X.First;
    int top = geo.Y.First;
    switch (key) {
    case Qt::Key_Left:
        --col;
        break;
    case Qt::Key_Right:
        ++col;
        break;
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // The view turns a page and the cell moves with it.
        const int sign = key == Qt::Key_PageUp ? -1 : 1;
        if (ctrl) {
            const int page = geo.X.Visible(view.width());
            col += sign * page;
            left += sign * page;
        } else {
            const int page = geo.Y.Visible(view.height());
            row += sign * page;
            top += sign * page;
        }
        break;
    }
    case Qt::Key_Home:
        col = 0;
        if (ctrl)
            row = 0;
        break;
    case Qt::Key_End:
        col = geo.X.Count - 1;
        if (ctrl)
            row = geo.Y.Count - 1;
        break;
    default:
        return std::nullopt;
    }
    return TGridKeyMove{{std::clamp(col, 0, geo.X.Count - 1), std::clamp(row, 0, geo.Y.Count - 1)},
                        {left, top}};
}
