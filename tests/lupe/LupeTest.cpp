#include "LupeUnit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

const QRgb kBackground = qRgb(10, 200, 30);
const QRgb kGrid = qRgb(0, 0, 0);

// Every source pixel has a colour of its own.
QRgb sourceColor(int x, int y)
{
    return qRgb(x * 8 % 256, y * 8 % 256, 100 + (x / 32) * 20 + (y / 32) * 40);
}

QImage sourcePicture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, sourceColor(x, y));
    return image;
}

int barExtent()
{
    return QScrollBar(Qt::Vertical).sizeHint().width();
}

// Scroll bars 17 pixels thick, as on the desktop the magnifier was laid out for.
class BarStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        if (metric == PM_ScrollBarExtent)
            return 17;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

struct DrawCall
{
    QRect Dest;
    QRect Source;
    TLupeOwnerDrawState State;
};

class LupeTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!dynamic_cast<BarStyle*>(QApplication::style()))
            QApplication::setStyle(new BarStyle);
    }

    void SetUp() override
    {
        Lupe = std::make_unique<TLupe>();
        Lupe->SetColor(QColor(kBackground));
    }

    // Shows the control at its size and lets the first paint happen.
    void Show()
    {
        Lupe->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Lupe.get()));
        QApplication::processEvents();
    }

    // The control painted anew, as a whole (control coordinates).
    QImage Render()
    {
        return Lupe->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // What is on screen now: the window's backing store, without painting anything.
    QImage Screen()
    {
        const QSize size = Lupe->viewport()->size();
        return Lupe->screen()
            ->grabWindow(Lupe->winId(), 0, 0, size.width(), size.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    // Records owner drawing; drawResult is left false at the stage `veto`.
    void RecordDrawing(int veto = -1, QRgb fill = 0)
    {
        Lupe->SetStyle(lsOwnerDraw);
        Lupe->OnDrawLupe = [this, veto, fill](QPainter& canvas, const QRect& dest,
                                              const QRect& source, TLupeOwnerDrawState state,
                                              bool& drawResult) {
            EXPECT_TRUE(drawResult);
            Calls.push_back({dest, source, state});
            if (state == veto) {
                canvas.fillRect(dest, QColor(fill));
                drawResult = false;
            }
        };
    }

    // Pixel (x, y) of an image shows the magnified source pixel at the given power and origin.
    static ::testing::AssertionResult ShowsSource(const QImage& image, int x, int y, int power,
                                                  QPoint origin)
    {
        const QRgb want = sourceColor(x / power + origin.x(), y / power + origin.y());
        if (image.pixel(x, y) == want)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << std::hex
                                             << image.pixel(x, y) << ", source colour " << want;
    }

    std::unique_ptr<TLupe> Lupe;
    std::vector<DrawCall> Calls;
};

TEST_F(LupeTest, StartsEmptyWithItsDefaults)
{
    EXPECT_EQ(Lupe->size(), QSize(128, 128));
    EXPECT_EQ(Lupe->Power(), 8);
    EXPECT_TRUE(Lupe->DrawGrid());
    EXPECT_EQ(Lupe->Style(), lsStandard);
    EXPECT_TRUE(Lupe->Bitmap().isNull());
    EXPECT_EQ(Lupe->GridPen().color(), QColor(Qt::black));
    EXPECT_EQ(Lupe->ClipLeft(), 0);
    EXPECT_EQ(Lupe->ClipTop(), 0);
    EXPECT_EQ(Lupe->SourceWidth(), 0);
    EXPECT_EQ(Lupe->SourceHeight(), 0);
    // An empty control counts its own size in whole magnified pixels, rounded up.
    EXPECT_EQ(Lupe->ClipWidth(), 16);
    Lupe->resize(100, 60);
    Show();
    EXPECT_EQ(Lupe->ClipWidth(), 13);
    EXPECT_EQ(Lupe->ClipHeight(), 8);
    EXPECT_FALSE(Lupe->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(Lupe->verticalScrollBar()->isVisible());
}

// One row per layout: source size, control size and power against the bars and the
// drawn area.
TEST_F(LupeTest, LayoutFollowsSourceControlAndPower)
{
    ASSERT_EQ(barExtent(), 17);
    struct Row
    {
        QSize Source, Control;
        int Power;
        bool HorzBar, VertBar;
        int Cols, Rows, DrawnW, DrawnH;
    };
    const Row rows[] = {
        {{32, 32}, {256, 256}, 8, false, false, 32, 32, 256, 256},
        {{32, 32}, {100, 100}, 3, false, false, 32, 32, 96, 96},
        {{32, 32}, {128, 128}, 8, true, true, 14, 14, 112, 112},
        // Only too wide: the bar across takes its room from the rows, which still fit.
        {{64, 8}, {128, 128}, 8, true, false, 16, 8, 128, 64},
        // Too tall by one row; the bar at the side then makes it too wide as well.
        {{16, 17}, {128, 128}, 8, true, true, 14, 14, 112, 112},
        // A control that is not a multiple of the power shows a partly hidden last column.
        {{40, 5}, {100, 100}, 8, true, false, 13, 5, 104, 40},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Source.width() << "x" << row.Source.height()
                                        << " in " << row.Control.width() << " power " << row.Power);
        auto lupe = std::make_unique<TLupe>();
        lupe->resize(row.Control);
        lupe->SetPower(row.Power);
        lupe->SetBitmap(sourcePicture(row.Source.width(), row.Source.height()));
        lupe->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(lupe.get()));
        EXPECT_EQ(lupe->horizontalScrollBar()->isVisible(), row.HorzBar);
        EXPECT_EQ(lupe->verticalScrollBar()->isVisible(), row.VertBar);
        EXPECT_EQ(lupe->VisibleCols(), row.Cols);
        EXPECT_EQ(lupe->VisibleRows(), row.Rows);
        EXPECT_EQ(lupe->ClipWidth(), row.Cols);
        EXPECT_EQ(lupe->ClipHeight(), row.Rows);
        EXPECT_EQ(lupe->DrawnWidth(), row.DrawnW);
        EXPECT_EQ(lupe->DrawnHeight(), row.DrawnH);
        EXPECT_EQ(lupe->ClipRight(), row.Cols);
        EXPECT_EQ(lupe->ClipBottom(), row.Rows);
        if (row.HorzBar) {
            EXPECT_EQ(lupe->horizontalScrollBar()->maximum(), row.Source.width() - row.Cols);
        }
        if (row.VertBar) {
            EXPECT_EQ(lupe->verticalScrollBar()->maximum(), row.Source.height() - row.Rows);
        }
    }
}

TEST_F(LupeTest, ScrollStepsFollowTheVisibleCount)
{
    struct Row
    {
        int Visible, Line, Page;
    };
    const Row rows[] = {{4, 1, 3},   {10, 2, 9},  {16, 2, 14}, {20, 2, 18},
                        {25, 3, 22}, {29, 3, 26}, {30, 4, 27}, {32, 4, 28}};
    Lupe->resize(256, 256);
    for (const Row& row : rows) {
        // A source that fits is shown whole: the visible count is its size.
        Lupe->SetBitmap(sourcePicture(row.Visible, row.Visible));
        SCOPED_TRACE(row.Visible);
        ASSERT_EQ(Lupe->VisibleCols(), row.Visible);
        ASSERT_EQ(Lupe->VisibleRows(), row.Visible);
        EXPECT_EQ(Lupe->HorzLineStep(), row.Line);
        EXPECT_EQ(Lupe->HorzPageStep(), row.Page);
        EXPECT_EQ(Lupe->VertLineStep(), row.Line);
        EXPECT_EQ(Lupe->VertPageStep(), row.Page);
    }
}

// The grid sits in the last column and row of every magnified pixel; the picture fills the
// rest; the background shows beside and below the drawn area only.
TEST_F(LupeTest, PaintsMagnifiedPixelsGridAndBackground)
{
    struct Row
    {
        QSize Control;
        int Power;
        bool Grid;
    };
    const Row rows[] = {{{256, 256}, 8, true}, {{100, 100}, 3, true}, {{100, 100}, 3, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.Control.width() << " power " << row.Power << " grid " << row.Grid);
        Lupe->resize(row.Control);
        Lupe->SetPower(row.Power);
        Lupe->SetDrawGrid(row.Grid);
        Lupe->SetBitmap(sourcePicture(32, 32));
        Show();
        const int p = row.Power;
        for (const QImage& image : {Render(), Screen()}) {
            for (int y = 0; y < row.Control.height(); y += 1) {
                for (int x = 0; x < row.Control.width(); x += (y % 5 == 0 ? 1 : 7)) {
                    const bool drawn = x < 32 * p && y < 32 * p;
                    if (!drawn) {
                        ASSERT_EQ(image.pixel(x, y), kBackground) << x << "," << y;
                    } else if (row.Grid && (x % p == p - 1 || y % p == p - 1)) {
                        ASSERT_EQ(image.pixel(x, y), kGrid) << x << "," << y;
                    } else {
                        ASSERT_TRUE(ShowsSource(image, x, y, p, {0, 0}));
                    }
                }
            }
        }
    }
}

TEST_F(LupeTest, EmptySourceShowsOnlyTheGrid)
{
    Show();
    QImage image = Render();
    for (int x = 0; x < 128; ++x) {
        const bool line = x == 0 || x % 8 == 7;
        EXPECT_EQ(image.pixel(x, 20) == kGrid, line) << x;
        EXPECT_EQ(image.pixel(20, x) == kGrid, line) << x;
        if (!line) {
            EXPECT_EQ(image.pixel(x, 20), kBackground);
        }
    }
    Lupe->SetDrawGrid(false);
    image = Render();
    for (int x = 0; x < 128; ++x)
        EXPECT_EQ(image.pixel(x, x), kBackground) << x;
}

TEST_F(LupeTest, PowerRefusesSmallAndUnchangedValues)
{
    Lupe->resize(256, 256);
    Lupe->SetBitmap(sourcePicture(32, 32));
    Show();
    RecordDrawing();
    QApplication::processEvents();
    Calls.clear();
    for (int refused : {1, 0, -3, 8}) {
        Lupe->SetPower(refused);
        EXPECT_EQ(Lupe->Power(), 8) << refused;
    }
    QApplication::processEvents();
    EXPECT_TRUE(Calls.empty()) << "a refused power repaints nothing";

    Lupe->SetPower(4);
    EXPECT_EQ(Lupe->DrawnWidth(), 128);
    QApplication::processEvents();
    ASSERT_FALSE(Calls.empty());
    const QImage image = Screen();
    EXPECT_TRUE(ShowsSource(image, 4 * 5 + 1, 4 * 9 + 2, 4, {0, 0}));
    EXPECT_EQ(image.pixel(200, 10), kBackground);
}

// A 32 x 32 source in a 128 x 128 control at power 8: 14 of 32 rows and columns show.
class LupeScrollTest : public LupeTest
{
protected:
    void SetUp() override
    {
        LupeTest::SetUp();
        Lupe->SetBitmap(sourcePicture(32, 32));
        Show();
        ASSERT_EQ(Lupe->VisibleRows(), 14);
        Lupe->OnScroll = [this](TScrollCode code, int pos) { Scrolls.push_back({code, pos}); };
    }

    // The screen shows the clip at the current origin, grid included.
    void ExpectScreenAtOrigin()
    {
        const QImage image = Screen();
        const QPoint origin(Lupe->ClipLeft(), Lupe->ClipTop());
        // The last magnified row and column are partly behind the bars.
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3) {
                if (x % 8 == 7 || y % 8 == 7) {
                    ASSERT_EQ(image.pixel(x, y), kGrid) << x << "," << y;
                } else {
                    ASSERT_TRUE(ShowsSource(image, x, y, 8, origin));
                }
            }
    }

    std::vector<std::pair<TScrollCode, int>> Scrolls;
};

TEST_F(LupeScrollTest, LinesAndPagesStopAtTheEnds)
{
    struct Row
    {
        Qt::Orientation Bar;
        TScrollCode Code;
        int Expected;
    };
    const Row rows[] = {
        {Qt::Vertical, scPageDown, 12},   {Qt::Vertical, scLineDown, 14},
        {Qt::Vertical, scPageDown, 18},   {Qt::Vertical, scLineDown, 18},
        {Qt::Vertical, scLineUp, 16},     {Qt::Vertical, scPageUp, 4},
        {Qt::Vertical, scPageUp, 0},      {Qt::Horizontal, scLineDown, 2},
        {Qt::Horizontal, scBottom, 2},    {Qt::Horizontal, scPageDown, 14},
        {Qt::Horizontal, scPageDown, 18}, {Qt::Horizontal, scLineUp, 16},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << (row.Bar == Qt::Vertical ? "vertical " : "horizontal ") << row.Code);
        Scrolls.clear();
        Lupe->Scroll(row.Bar, row.Code);
        const int origin = row.Bar == Qt::Vertical ? Lupe->ClipTop() : Lupe->ClipLeft();
        EXPECT_EQ(origin, row.Expected);
        const QScrollBar* bar =
            row.Bar == Qt::Vertical ? Lupe->verticalScrollBar() : Lupe->horizontalScrollBar();
        EXPECT_EQ(bar->value(), row.Expected);
        ASSERT_EQ(Scrolls.size(), 1u);
        EXPECT_EQ(Scrolls[0].first, row.Code);
        EXPECT_EQ(Scrolls[0].second, row.Expected);
        EXPECT_LE(Lupe->ClipBottom(), 32);
        EXPECT_LE(Lupe->ClipRight(), 32);
        QApplication::processEvents();
        ExpectScreenAtOrigin();
    }
}

// The screen moves by the distance scrolled; only the band it uncovers is painted again.
TEST_F(LupeScrollTest, RepaintsOnlyTheUncoveredBand)
{
    Lupe->SetClipTop(16);
    RecordDrawing();
    QApplication::processEvents();
    Calls.clear();
    // A page is 12 rows; only 2 are left before the end.
    Lupe->Scroll(Qt::Vertical, scPageDown);
    EXPECT_EQ(Lupe->ClipTop(), 18);
    QApplication::processEvents();
    ASSERT_FALSE(Calls.empty());
    QRect painted;
    for (const DrawCall& call : Calls)
        painted |= call.Dest;
    // The viewport ends at 111, behind the bar: the 16 uncovered rows are 95 to 110, widened
    // to whole magnified pixels. The rest of the screen was moved, yet shows the new origin.
    EXPECT_EQ(painted, QRect(0, 88, 112, 24));
    EXPECT_EQ(Calls.front().Source, QRect(0, 29, 14, 3));
    ExpectScreenAtOrigin();

    Calls.clear();
    Lupe->Scroll(Qt::Horizontal, scLineDown);
    QApplication::processEvents();
    painted = QRect();
    for (const DrawCall& call : Calls)
        painted |= call.Dest;
    EXPECT_EQ(painted, QRect(88, 0, 24, 112));
    ExpectScreenAtOrigin();
}

TEST_F(LupeScrollTest, ClipOriginRefusesValuesOutsideTheSource)
{
    for (int refused : {-1, 19, 100}) {
        Lupe->SetClipLeft(refused);
        Lupe->SetClipTop(refused);
    }
    EXPECT_EQ(Lupe->ClipLeft(), 0);
    EXPECT_EQ(Lupe->ClipTop(), 0);
    EXPECT_TRUE(Scrolls.empty());

    Lupe->SetClipLeft(18);
    Lupe->SetClipTop(5);
    EXPECT_EQ(Lupe->ClipLeft(), 18);
    EXPECT_EQ(Lupe->ClipTop(), 5);
    ASSERT_EQ(Scrolls.size(), 2u);
    EXPECT_EQ(Scrolls[0], std::make_pair(scPosition, 18));
    EXPECT_EQ(Scrolls[1], std::make_pair(scPosition, 5));
    EXPECT_EQ(Lupe->horizontalScrollBar()->value(), 18);
    QApplication::processEvents();
    ExpectScreenAtOrigin();
}

TEST_F(LupeScrollTest, ScrollBarClicksScrollByTheControlsSteps)
{
    QScrollBar* bar = Lupe->verticalScrollBar();
    // A click in the groove below the thumb is a page forward, 12 rows rather than the bar's
    // own page of 14.
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 20));
    EXPECT_EQ(Lupe->ClipTop(), 12);
    ASSERT_FALSE(Scrolls.empty());
    EXPECT_EQ(Scrolls.back(), std::make_pair(scPageDown, 12));
    EXPECT_EQ(bar->value(), 12);
    QApplication::processEvents();
    ExpectScreenAtOrigin();
}

TEST_F(LupeScrollTest, AnotherSourceKeepsTheOriginWithinIt)
{
    Lupe->SetClipLeft(18);
    Lupe->SetClipTop(10);
    Lupe->SetBitmap(sourcePicture(32, 32));
    EXPECT_EQ(Lupe->ClipLeft(), 18);
    EXPECT_EQ(Lupe->ClipTop(), 10);
    Lupe->SetBitmap(sourcePicture(20, 24));
    EXPECT_EQ(Lupe->ClipLeft(), 6);
    EXPECT_EQ(Lupe->ClipTop(), 10);
    // An emptied source keeps the size last seen.
    Lupe->SetBitmap(QImage());
    EXPECT_EQ(Lupe->SourceWidth(), 20);
    EXPECT_EQ(Lupe->SourceHeight(), 24);
}

TEST_F(LupeScrollTest, ClipSizeResizesTheControl)
{
    const int bar = barExtent();
    Lupe->SetClipWidth(16);
    // Rows are still hidden, so the bar at the side takes its room beside the 16 columns.
    EXPECT_EQ(Lupe->width(), 16 * 8 + bar);
    EXPECT_EQ(Lupe->VisibleCols(), 16);
    for (int refused : {0, -5}) {
        Lupe->SetClipWidth(refused);
        Lupe->SetClipHeight(refused);
    }
    EXPECT_EQ(Lupe->width(), 16 * 8 + bar);
    EXPECT_EQ(Lupe->height(), 128);
    // More than the source is cut to it.
    Lupe->SetClipHeight(50);
    EXPECT_EQ(Lupe->height(), 32 * 8 + bar);
    EXPECT_EQ(Lupe->VisibleRows(), 32);
    EXPECT_FALSE(Lupe->verticalScrollBar()->isVisible());
    Lupe->SetClipWidth(32);
    EXPECT_EQ(Lupe->width(), 32 * 8);
    EXPECT_FALSE(Lupe->horizontalScrollBar()->isVisible());
}

TEST_F(LupeScrollTest, MouseEventsReportSourcePixels)
{
    Lupe->SetClipLeft(2);
    Lupe->SetClipTop(3);
    std::vector<QPoint> control, source;
    std::vector<Qt::MouseButton> buttons;
    Lupe->OnMouseDown = [&](Qt::MouseButton b, Qt::KeyboardModifiers, const QPoint& p) {
        buttons.push_back(b);
        control.push_back(p);
    };
    Lupe->OnSourceMouseDown = [&](Qt::MouseButton b, Qt::KeyboardModifiers, const QPoint& p) {
        buttons.push_back(b);
        source.push_back(p);
    };
    Lupe->OnSourceMouseMove = [&](Qt::KeyboardModifiers, const QPoint& p) { source.push_back(p); };
    Lupe->OnSourceMouseUp = [&](Qt::MouseButton, Qt::KeyboardModifiers, const QPoint& p) {
        source.push_back(p);
    };
    QWidget* vp = Lupe->viewport();
    QTest::mousePress(vp, Qt::RightButton, {}, QPoint(15, 7));
    // A drag held outside the control: truncation toward zero keeps x = -1 on the first
    // column; x = -8 is one column before it.
    QTest::mouseMove(vp, QPoint(-1, 7));
    QTest::mouseMove(vp, QPoint(-8, -9));
    QTest::mouseMove(vp, QPoint(300, 7));
    QTest::mouseRelease(vp, Qt::RightButton, {}, QPoint(-17, 7));
    ASSERT_EQ(control.size(), 1u);
    EXPECT_EQ(control[0], QPoint(15, 7));
    EXPECT_EQ(buttons, (std::vector<Qt::MouseButton>{Qt::RightButton, Qt::RightButton}));
    const std::vector<QPoint> expected = {{3, 3}, {2, 3}, {1, 2}, {39, 3}, {0, 3}};
    EXPECT_EQ(source, expected);
}

TEST_F(LupeTest, DoubleClickComesBeforeTheSecondPress)
{
    Show();
    std::vector<std::string> log;
    auto shiftText = [](Qt::KeyboardModifiers s) {
        return std::string(s.testFlag(ssDouble) ? "+double" : "") +
               (s.testFlag(Qt::ShiftModifier) ? "+shift" : "");
    };
    Lupe->OnDblClick = [&] { log.push_back("dblclick"); };
    Lupe->OnMouseDown = [&](Qt::MouseButton, Qt::KeyboardModifiers s, const QPoint&) {
        log.push_back("down" + shiftText(s));
    };
    Lupe->OnSourceMouseDown = [&](Qt::MouseButton, Qt::KeyboardModifiers s, const QPoint& p) {
        log.push_back("source down" + shiftText(s) + " " + std::to_string(p.x()));
    };
    Lupe->OnSourceMouseUp = [&](Qt::MouseButton, Qt::KeyboardModifiers s, const QPoint&) {
        log.push_back("source up" + shiftText(s));
    };
    // A double click arrives as press, release, double click, release.
    QWidget* vp = Lupe->viewport();
    const QPoint at(20, 5);
    QTest::mousePress(vp, Qt::LeftButton, Qt::ShiftModifier, at);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::ShiftModifier, at);
    QTest::mouseDClick(vp, Qt::LeftButton, Qt::ShiftModifier, at);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::ShiftModifier, at);
    const std::vector<std::string> expected = {
        "down+shift",        "source down+shift 2",        "source up+shift", "dblclick",
        "down+double+shift", "source down+double+shift 2", "source up+shift"};
    EXPECT_EQ(log, expected);

    // A right double click has no double-click event, only the marked press.
    log.clear();
    QTest::mouseDClick(vp, Qt::RightButton, {}, at);
    QTest::mouseRelease(vp, Qt::RightButton, {}, at);
    EXPECT_EQ(std::count(log.begin(), log.end(), "dblclick"), 0);
    EXPECT_NE(std::find(log.begin(), log.end(), "down+double"), log.end());
}

TEST_F(LupeTest, OwnerDrawingStagesAndVetoes)
{
    Lupe->resize(256, 256);
    Lupe->SetBitmap(sourcePicture(32, 32));
    Show();
    const QRgb red = qRgb(250, 0, 0);
    struct Row
    {
        int Veto;
        bool Grid;
        std::vector<TLupeOwnerDrawState> Stages;
        bool Picture, GridShown; // at (20, 20) and (23, 23)
    };
    const Row rows[] = {
        {-1, true, {ldsImage, ldsGrid, ldsOverlay}, true, true},
        {-1, false, {ldsImage, ldsOverlay}, true, false},
        // Vetoed at the picture: the back buffer holds what the handler drew, no grid.
        {ldsImage, true, {ldsImage}, false, false},
        // Vetoed later: the picture is drawn, but what the handler drew covers it.
        {ldsGrid, true, {ldsImage, ldsGrid}, false, false},
        {ldsOverlay, true, {ldsImage, ldsGrid, ldsOverlay}, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "veto " << row.Veto << " grid " << row.Grid);
        Lupe->SetDrawGrid(row.Grid);
        RecordDrawing(row.Veto, red);
        QApplication::processEvents();
        Calls.clear();
        Lupe->viewport()->update(QRect(13, 21, 30, 2));
        QApplication::processEvents();
        std::vector<TLupeOwnerDrawState> stages;
        for (const DrawCall& call : Calls) {
            stages.push_back(call.State);
            // Widened to whole magnified pixels.
            EXPECT_EQ(call.Dest, QRect(8, 16, 40, 8));
            EXPECT_EQ(call.Source, QRect(1, 2, 5, 1));
        }
        EXPECT_EQ(stages, row.Stages);
        const QImage image = Screen();
        if (row.Picture) {
            EXPECT_TRUE(ShowsSource(image, 20, 20, 8, {0, 0}));
        } else {
            EXPECT_EQ(image.pixel(20, 20), red);
        }
        EXPECT_EQ(image.pixel(23, 23) == kGrid, row.GridShown);
    }
}

// The owner names the source pixels it changed; the control repaints their magnified
// pixels once, at the next paint cycle.
TEST_F(LupeTest, ChangedSourcePixelsRepaintOnceAndOnlyThere)
{
    Lupe->resize(256, 256);
    Lupe->SetBitmap(sourcePicture(32, 32));
    Show();
    int changes = 0;
    Lupe->OnChange = [&] { ++changes; };
    RecordDrawing();
    QApplication::processEvents();
    Calls.clear();
    const QRgb blue = qRgb(0, 0, 255);
    for (int y = 3; y < 6; ++y)
        for (int x = 4; x < 10; ++x) {
            Lupe->Bitmap().setPixel(x, y, blue);
            Lupe->InvalidateSourceRect(QRect(x, y, 1, 1));
        }
    EXPECT_EQ(changes, 18);
    EXPECT_TRUE(Calls.empty()) << "nothing is painted before the paint cycle";
    QApplication::processEvents();
    // One repaint: each stage called once.
    ASSERT_EQ(Calls.size(), 3u);
    EXPECT_EQ(Calls[0].State, ldsImage);
    EXPECT_EQ(Calls[0].Dest, QRect(32, 24, 48, 24));
    EXPECT_EQ(Calls[0].Source, QRect(4, 3, 6, 3));
    const QImage image = Screen();
    EXPECT_EQ(image.pixel(4 * 8 + 2, 3 * 8 + 2), blue);
    EXPECT_EQ(image.pixel(9 * 8 + 6, 5 * 8 + 6), blue);
    EXPECT_EQ(image.pixel(9 * 8 + 7, 5 * 8 + 6), kGrid);
    EXPECT_TRUE(ShowsSource(image, 10 * 8 + 1, 3 * 8 + 1, 8, {0, 0}));

    // A whole new picture repaints everything, once.
    Calls.clear();
    Lupe->SetBitmap(sourcePicture(32, 32));
    Lupe->SetGridPen(QPen(Qt::white));
    EXPECT_EQ(changes, 20);
    QApplication::processEvents();
    ASSERT_EQ(Calls.size(), 3u);
    EXPECT_EQ(Calls[0].Dest, QRect(0, 0, 256, 256));
    EXPECT_EQ(Screen().pixel(7, 100), qRgb(255, 255, 255));
}

TEST_F(LupeTest, SetBitmapCopiesThePicture)
{
    QImage picture = sourcePicture(16, 8);
    Lupe->SetBitmap(picture);
    picture.fill(Qt::red);
    EXPECT_EQ(Lupe->Bitmap().pixel(3, 2), sourceColor(3, 2));
    EXPECT_EQ(Lupe->SourceWidth(), 16);
    EXPECT_EQ(Lupe->SourceHeight(), 8);
    // Any format is taken as RGB32.
    Lupe->SetBitmap(sourcePicture(4, 4).convertToFormat(QImage::Format_RGB888));
    EXPECT_EQ(Lupe->Bitmap().format(), QImage::Format_RGB32);
    EXPECT_EQ(Lupe->Bitmap().pixel(1, 3), sourceColor(1, 3));
}

TEST_F(LupeTest, PopupMenuOpensOnlyWhenSet)
{
    Show();
    QMenu menu;
    menu.addAction(QStringLiteral("フリーラインモード(&F)"));
    QContextMenuEvent withoutMenu(QContextMenuEvent::Mouse, QPoint(10, 10),
                                  Lupe->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(Lupe->viewport(), &withoutMenu);
    EXPECT_FALSE(menu.isVisible());
    Lupe->SetPopupMenu(&menu);
    QContextMenuEvent withMenu(QContextMenuEvent::Mouse, QPoint(10, 10),
                               Lupe->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(Lupe->viewport(), &withMenu);
    EXPECT_TRUE(menu.isVisible());
    menu.close();
}

} // namespace
