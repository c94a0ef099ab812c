#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <array>
#include <functional>

class QWidget;
class TDrawGrid;
class TMapDocument;
class TPartsStore;
class TSettings;
struct TCellRect;

// The map view's scale and place: the cell size of the zoom level, zoom steps around a
// point (Ctrl+wheel on the map), the jump points, and the repaints of what the map, the
// parts and the zoom size changed, connected once here.
class TMapViewController : public QObject
{
    Q_OBJECT

public:
    // `leftZoom` runs when the view is set to a level other than the zoom level, where
    // parts are not edited. The grid, models and settings outlive the controller.
    TMapViewController(TDrawGrid& grid, const TMapDocument& doc, const TPartsStore& parts,
                       TSettings& settings, std::function<void()> leftZoom,
                       QObject* parent = nullptr);

    // The cell size of the settings' zoom level, the view centred on the current cell.
    void ApplyZoom();
    // Steps the zoom level (+1 closer, -1 farther), keeping the cell under anchor (a point
    // of the grid's viewport) where it is.
    void StepZoom(int step, const QPoint& anchor);
    void Repaint();
    // Only the cells on screen are drawn again; the grid skips the others.
    void RedrawRect(const TCellRect& rect);
    // Redraws the cells on screen that show the part.
    void RedrawPart(int part);
    // Jump point k (0..4) takes the current cell; the view is centred on it later.
    void RememberPoint(int k);
    // Centres the view on jump point k and returns it.
    QPoint ShowPoint(int k);
    // Centres the view on the cell, as far as the map allows.
    void CentreOn(int col, int row);
    // The cells on screen, also those shown only in part.
    TCellRect VisibleCells() const;

signals:
    // The cells on screen changed: a scroll, a new cell size, a new map, a resize.
    void viewMoved();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The grid takes the size of a new or loaded map and starts at its top left.
    void showNewMap();
    // The group part's lattice is drawn again when its size changed (its parts are drawn
    // only in a drag's preview, which draws them itself).
    void groupChanged();

    TDrawGrid& FGrid;
    QWidget* const FViewport; // the grid's, whose wheel zooms
    const TMapDocument& FDoc;
    TSettings& FSettings;
    std::function<void()> FLeftZoom;
    std::array<QPoint, 5> FJumpPoints{}; // for the whole run
    QSize FGroupSize;                    // as the view last drew its lattice
};
