#pragma once

#include "CellRect.h"
#include "ProgramModels.h"

#include <QPointF>
#include <QRect>
#include <QWidget>

class QAction;
class TMapOverview;
class TMapViewController;

// The overview window: the whole map scaled to fit, the main view's cells outlined. Far
// out it shows the overview's averaged picture, closer each cell in its part's average
// colour, closer still the parts themselves. A click or a drag centres the main view on
// the cell under the pointer; the wheel zooms around the pointer. It follows the models'
// and the main view's signals only.
class TOverviewForm : public QWidget
{
    Q_OBJECT

public:
    // Cells at least this many pixels wide show their parts' pictures.
    static constexpr int PartPictureCellSize = 8;
    static constexpr double MaxScale = 64;

    // Reads its placement and on-top key. The models and the view outlive the window.
    TOverviewForm(const TProgramModels& models, TMapViewController& view,
                  QWidget* parent = nullptr);
    // Writes its placement, on-top and visibility keys.
    ~TOverviewForm() override;

    const TMapOverview& Overview() const { return *FOverview; }
    TMapOverview& Overview() { return *FOverview; }
    // Whether the window was shown when the program last ended (true on a first start).
    bool ShownAtStart() const { return FShownAtStart; }
    void SetShownAtStart(bool shown) { FShownAtStart = shown; }
    bool StaysOnTop() const { return FOnTop; }
    void SetStaysOnTopChoice(bool onTop);

    // Screen pixels per cell, and the cell under a point of the window (kept in the map).
    double Scale() const { return FScale; }
    QPoint CellAt(const QPoint& pos) const;
    // The window's rectangle that shows the cells.
    QRect ScreenRectOf(const TCellRect& cells) const;
    // The main view's cells as outlined.
    QRect OutlineRect() const;
    // Zooms by steps (+ closer, - farther) keeping the cell under anchor where it is;
    // as far out as the whole map fits.
    void ZoomAround(double steps, const QPointF& anchor);

    QAction* OnTopAction; // "常に上に表示する", in the window's context menu

signals:
    // The window was closed (it is only hidden).
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    double fitScale() const;
    // The whole map in the window again.
    void fit();
    // Keeps the map on screen: centred along a side it does not fill.
    void clampOrigin();
    void centreMainViewAt(const QPoint& pos);
    void pictureChanged(const QRect& pixels);
    void viewMoved();
    void drawPicture(QPainter& painter, const QRect& exposed) const;
    void drawCells(QPainter& painter, const TCellRect& cells) const;
    void drawParts(QPainter& painter, const TCellRect& cells) const;
    TCellRect cellsIn(const QRect& area) const;

    TProgramModels FModels;
    TMapViewController& FView;
    TMapOverview* FOverview;
    double FScale = 1;
    QPointF FOrigin; // the cell position at the window's top left
    bool FFitted = true;
    bool FShownAtStart = true;
    bool FOnTop = true;
    QRect FOutline; // as last drawn, pen included
};
