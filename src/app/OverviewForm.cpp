#include "OverviewForm.h"

#include "Dialogs.h"
#include "IniGT.h"
#include "MapDocument.h"
#include "MapOverview.h"
#include "MapViewController.h"
#include "PartsStore.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

const QString IniSection = QStringLiteral("Overview");
const QString IniPrefix = QStringLiteral("WindowState");
const QString OnTopKey = QStringLiteral("isOnTop");
const QString VisibleKey = QStringLiteral("Visible");

constexpr int OutlinePen = 2;
const QColor Background(64, 64, 64);

} // namespace

TOverviewForm::TOverviewForm(const TProgramModels& models, TMapViewController& view,
                             QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FModels(models), FView(view), FOverview(new TMapOverview(models.Document, models.Parts, this))
{
    setObjectName(QStringLiteral("OverviewForm"));
    setWindowTitle(QStringLiteral("全体図"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    setMinimumSize(64, 64);
    resize(192, 192);

    OnTopAction = new QAction(QStringLiteral("常に上に表示する"), this);
    OnTopAction->setObjectName(QStringLiteral("OnTopAction"));
    OnTopAction->setCheckable(true);
    connect(OnTopAction, &QAction::triggered, this, &TOverviewForm::SetStaysOnTopChoice);

    // The overview was made first, so it has taken a change in when these run.
    connect(FOverview, &TMapOverview::pictureChanged, this, &TOverviewForm::pictureChanged);
    connect(&models.Document, &TMapDocument::mapReplaced, this, &TOverviewForm::fit);
    const auto partsShown = [this] {
        if (FScale >= PartPictureCellSize)
            update();
    };
    connect(&models.Parts, &TPartsStore::partChanged, this, partsShown);
    connect(&models.Parts, &TPartsStore::allPartsChanged, this, partsShown);
    connect(&view, &TMapViewController::viewMoved, this, &TOverviewForm::viewMoved);

    // The window's style first: changing it later would move the window by its frame.
    TIniGT& ini = models.IniGT;
    SetStaysOnTopChoice(ini.ReadBool(IniSection, OnTopKey, true));
    ini.ReadWindowPlacement(IniSection, IniPrefix, this);
    FShownAtStart = ini.ReadBool(IniSection, VisibleKey, true);
    fit();
}

TOverviewForm::~TOverviewForm()
{
    try {
        TIniGT& ini = FModels.IniGT;
        ini.WriteWindowPlacement(IniSection, IniPrefix, this);
        ini.WriteBool(IniSection, OnTopKey, FOnTop);
        ini.WriteBool(IniSection, VisibleKey, isVisible());
    } catch (const EIniGTWriteError& e) {
        ShowError(nullptr, e.message()); // reported; the program is ending anyway
    }
}

void TOverviewForm::SetStaysOnTopChoice(bool onTop)
{
    FOnTop = onTop;
    OnTopAction->setChecked(onTop);
    SetStaysOnTop(this, onTop);
}

double TOverviewForm::fitScale() const
{
    const TMapDocument& doc = FModels.Document;
    return std::min(double(width()) / std::max(1, int(doc.MapWidth())),
                    double(height()) / std::max(1, int(doc.MapHeight())));
}

void TOverviewForm::fit()
{
    FFitted = true;
    FScale = fitScale();
    clampOrigin();
    update();
}

void TOverviewForm::clampOrigin()
{
    const auto clampSide = [](double origin, double cells, double shown) {
        if (cells <= shown)
            return -(shown - cells) / 2;
        return std::clamp(origin, 0.0, cells - shown);
    };
    FOrigin.setX(clampSide(FOrigin.x(), FModels.Document.MapWidth(), width() / FScale));
    FOrigin.setY(clampSide(FOrigin.y(), FModels.Document.MapHeight(), height() / FScale));
}

void TOverviewForm::ZoomAround(double steps, const QPointF& anchor)
{
    const QPointF cell = FOrigin + anchor / FScale;
    const double fitted = fitScale();
    const double scale = std::clamp(FScale * std::pow(1.25, steps), fitted, MaxScale);
    if (scale <= fitted) {
        fit();
        return;
    }
    FFitted = false;
    FScale = scale;
    FOrigin = cell - anchor / FScale;
    clampOrigin();
    update();
}

QPoint TOverviewForm::CellAt(const QPoint& pos) const
{
    const QPointF cell = FOrigin + QPointF(pos) / FScale;
    return {std::clamp(int(std::floor(cell.x())), 0, FModels.Document.MapWidth() - 1),
            std::clamp(int(std::floor(cell.y())), 0, FModels.Document.MapHeight() - 1)};
}

QRect TOverviewForm::ScreenRectOf(const TCellRect& cells) const
{
    const int left = int(std::floor((cells.Left - FOrigin.x()) * FScale));
    const int top = int(std::floor((cells.Top - FOrigin.y()) * FScale));
    const int right = int(std::ceil((cells.Right + 1 - FOrigin.x()) * FScale));
    const int bottom = int(std::ceil((cells.Bottom + 1 - FOrigin.y()) * FScale));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

TCellRect TOverviewForm::cellsIn(const QRect& area) const
{
    const TMapDocument& doc = FModels.Document;
    return {
        std::max(0, int(std::floor(FOrigin.x() + area.left() / FScale))),
        std::max(0, int(std::floor(FOrigin.y() + area.top() / FScale))),
        std::min(doc.MapWidth() - 1, int(std::floor(FOrigin.x() + (area.right() + 1) / FScale))),
        std::min(doc.MapHeight() - 1, int(std::floor(FOrigin.y() + (area.bottom() + 1) / FScale)))};
}

QRect TOverviewForm::OutlineRect() const
{
    // Never smaller than a few pixels, so that a far-out view still shows where it is.
    QRect r = ScreenRectOf(FView.VisibleCells());
    if (r.width() < 4)
        r.setWidth(4);
    if (r.height() < 4)
        r.setHeight(4);
    return r;
}

void TOverviewForm::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.fillRect(exposed, Background);
    const TMapDocument& doc = FModels.Document;
    const QRect mapRect =
        ScreenRectOf({0, 0, doc.MapWidth() - 1, doc.MapHeight() - 1}).intersected(exposed);
    if (!mapRect.isEmpty()) {
        painter.setClipRect(mapRect);
        if (FScale >= PartPictureCellSize)
            drawParts(painter, cellsIn(mapRect));
        else if (FScale >= 1)
            drawCells(painter, cellsIn(mapRect));
        else
            drawPicture(painter, mapRect);
        painter.setClipping(false);
    }
    FOutline = OutlineRect();
    QPen pen(QColor(255, 48, 48), OutlinePen);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(FOutline).adjusted(0.5, 0.5, -0.5, -0.5));
    FOutline.adjust(-OutlinePen, -OutlinePen, OutlinePen, OutlinePen);
}

void TOverviewForm::drawPicture(QPainter& painter, const QRect& exposed) const
{
    // Only the picture's pixels under the exposed area, stretched onto it.
    const QImage& picture = FOverview->Picture();
    const double block = FOverview->BlockSize();
    // A pixel more each way, so that smoothing at the area's edges sees the same
    // neighbours as a whole repaint; the clip keeps the drawing inside.
    const double left = std::floor((FOrigin.x() + exposed.left() / FScale) / block) - 1;
    const double top = std::floor((FOrigin.y() + exposed.top() / FScale) / block) - 1;
    const double right = std::ceil((FOrigin.x() + (exposed.right() + 1) / FScale) / block) + 1;
    const double bottom = std::ceil((FOrigin.y() + (exposed.bottom() + 1) / FScale) / block) + 1;
    const QRectF source =
        QRectF(left, top, right - left, bottom - top).intersected(QRectF(picture.rect()));
    if (source.isEmpty())
        return;
    const double pitch = block * FScale;
    const QRectF target((source.left() * block - FOrigin.x()) * FScale,
                        (source.top() * block - FOrigin.y()) * FScale, source.width() * pitch,
                        source.height() * pitch);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, pitch < 1);
    painter.drawImage(target, picture, source);
}

void TOverviewForm::drawCells(QPainter& painter, const TCellRect& cells) const
{
    // One pixel per cell in its part's colour, stretched without smoothing.
    const TMapDocument& doc = FModels.Document;
    QImage image(cells.Width(), cells.Height(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = FOverview->PartColor(doc.Cell(cells.Left + x, cells.Top + y));
    }
    const QRectF target((cells.Left - FOrigin.x()) * FScale, (cells.Top - FOrigin.y()) * FScale,
                        cells.Width() * FScale, cells.Height() * FScale);
    painter.drawImage(target, image);
}

void TOverviewForm::drawParts(QPainter& painter, const TCellRect& cells) const
{
    const TMapDocument& doc = FModels.Document;
    for (int x = cells.Left; x <= cells.Right; ++x)
        for (int y = cells.Top; y <= cells.Bottom; ++y)
            FModels.Parts.DrawPart(painter, ScreenRectOf({x, y, x, y}), doc.Cell(x, y));
}

void TOverviewForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (FFitted || FScale < fitScale())
        fit();
    else
        clampOrigin();
}

void TOverviewForm::pictureChanged(const QRect& pixels)
{
    const int block = FOverview->BlockSize();
    update(ScreenRectOf({pixels.left() * block, pixels.top() * block,
                         (pixels.right() + 1) * block - 1, (pixels.bottom() + 1) * block - 1})
               .adjusted(-1, -1, 1, 1));
}

void TOverviewForm::viewMoved()
{
    const QRect now = OutlineRect().adjusted(-OutlinePen, -OutlinePen, OutlinePen, OutlinePen);
    update(FOutline);
    update(now);
}

void TOverviewForm::centreMainViewAt(const QPoint& pos)
{
    const QPoint cell = CellAt(pos);
    FView.CentreOn(cell.x(), cell.y());
}

void TOverviewForm::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        centreMainViewAt(event->position().toPoint());
    else
        QWidget::mousePressEvent(event);
}

void TOverviewForm::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        centreMainViewAt(event->position().toPoint());
}

void TOverviewForm::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta != 0)
        ZoomAround(delta / 120.0, event->position());
    event->accept();
}

void TOverviewForm::contextMenuEvent(QContextMenuEvent* event)
{
    // Only the window's own item: the main window's keys it also takes are not shown.
    QMenu menu(this);
    menu.addAction(OnTopAction);
    menu.exec(event->globalPos());
}

void TOverviewForm::closeEvent(QCloseEvent* event)
{
    // Closing only hides the window; the View menu shows it again.
    event->accept();
    emit closed();
}
