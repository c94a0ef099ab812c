#include "TerrainTool.h"

#include "DrawGrid.h"
#include "MapDocument.h"
#include "TerrainPainter.h"
#include "TerrainStore.h"

#include <QDateTime>
#include <algorithm>

namespace {

std::optional<uint64_t> seedFor(bool random)
{
    if (!random)
        return std::nullopt;
    return uint64_t(QDateTime::currentMSecsSinceEpoch());
}

} // namespace

TTerrainTool::TTerrainTool(const TMapToolContext& context) : TMapGridTool(context)
{
    // Other sets: an edit worked out with the old ones is dropped, and the status bar of the
    // active tool says whether the new ones can paint.
    connect(&F.Terrain, &TTerrainStore::setsChanged, this, [this] {
        drop();
        if (FActive)
            emit statusChanged(F.Terrain.Matcher() ? QString() : F.Terrain.Problem());
    });
    connect(&F.Terrain, &TTerrainStore::choiceChanged, this, [this] {
        if (FActive)
            emit statusChanged(F.Terrain.Matcher() ? QString() : F.Terrain.Problem());
    });
}

TTerrainTool::~TTerrainTool() = default;

void TTerrainTool::Activate()
{
    TMapGridTool::Activate();
    FActive = true;
    if (!F.Terrain.Matcher())
        emit statusChanged(F.Terrain.Problem());
}

void TTerrainTool::Deactivate()
{
    FActive = false;
    drop();
    TMapGridTool::Deactivate();
}

uint8_t TTerrainTool::PreviewPart(int col, int row) const
{
    return FPainter ? FPainter->Part(col, row) : F.Document.Cell(col, row);
}

QPointF TTerrainTool::pointerInCells() const
{
    const QPoint pos = PointerPos();
    const QPoint cell = F.Grid.MouseToCell(pos);
    const QRect rect = F.Grid.CellRect(std::max(cell.x(), 0), std::max(cell.y(), 0));
    if (cell.x() < 0 || cell.y() < 0 || rect.isEmpty())
        return FLast;
    const double fx = std::clamp(double(pos.x() - rect.left()) / rect.width(), 0.0, 1.0);
    const double fy = std::clamp(double(pos.y() - rect.top()) / rect.height(), 0.0, 1.0);
    return {cell.x() + fx, cell.y() + fy};
}

void TTerrainTool::Pressed()
{
    if (MapDragButton != Qt::LeftButton)
        return;
    const TWangMatcher* matcher = F.Terrain.Matcher();
    if (!matcher) {
        emit statusChanged(F.Terrain.Problem());
        return;
    }
    FPainter = std::make_unique<TTerrainPainter>(F.Document, *matcher);
    FPainter->SetRandom(seedFor(F.Settings.RandomPlacement()));
    FLast = pointerInCells();
    paintTo(FLast);
}

void TTerrainTool::Dragged(const QPoint& cell)
{
    if (MapDragButton == Qt::LeftButton && FPainter)
        paintTo(pointerInCells());
    else
        TMapGridTool::Dragged(cell);
}

void TTerrainTool::paintTo(QPointF point)
{
    FPainter->PaintLine(FLast, point, uint8_t(F.Terrain.Color()));
    // The cells a segment can change lie within the painter's reach of it.
    const int reach = TTerrainPainter::MaxRings + 2;
    const TCellRect near{
        int(std::min(FLast.x(), point.x())) - reach, int(std::min(FLast.y(), point.y())) - reach,
        int(std::max(FLast.x(), point.x())) + reach, int(std::max(FLast.y(), point.y())) + reach};
    FLast = point;
    const TCellRect changed = FPainter->Changed();
    const TCellRect shown{std::max(near.Left, changed.Left), std::max(near.Top, changed.Top),
                          std::min(near.Right, changed.Right),
                          std::min(near.Bottom, changed.Bottom)};
    if (shown.Right >= shown.Left && shown.Bottom >= shown.Top)
        F.Grid.InvalidateRect(shown);
    const long unmatched = FPainter->Unmatched();
    emit statusChanged(
        unmatched ? QStringLiteral("地形: %1 (合わない境目 %2)")
                        .arg(F.Terrain.ChosenSet()->Colors[size_t(F.Terrain.Color() - 1)].Name)
                        .arg(unmatched)
                  : QStringLiteral("地形: %1")
                        .arg(F.Terrain.ChosenSet()->Colors[size_t(F.Terrain.Color() - 1)].Name));
}

void TTerrainTool::LeftReleased(Qt::KeyboardModifiers)
{
    if (!FPainter)
        return;
    const std::unique_ptr<TTerrainPainter> painter = std::move(FPainter);
    painter->Commit(F.Document);
}

void TTerrainTool::drop()
{
    if (!FPainter)
        return;
    const TCellRect changed = FPainter->Changed();
    FPainter.reset();
    if (changed.Right >= changed.Left)
        F.Grid.InvalidateRect(changed);
}

bool FillWithTerrain(TMapDocument& doc, const TTerrainStore& terrain, const TCellRect& rect,
                     bool random, QString& why)
{
    const TWangMatcher* matcher = terrain.Matcher();
    if (!matcher) {
        why = terrain.Problem();
        return false;
    }
    TTerrainPainter painter(doc, *matcher);
    painter.SetRandom(seedFor(random));
    painter.FillRect(rect, uint8_t(terrain.Color()));
    painter.Commit(doc);
    return true;
}
