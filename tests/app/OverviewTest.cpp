#include "ChildPeak.h"
#include "DrawGrid.h"
#include "MapOverview.h"
#include "MapSession.h"
#include "OverviewForm.h"
#include "PartsStore.h"
#include "PictureFormats.h"
#include "ProgramFixture.h"
#include "main.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <functional>

namespace {

class OverviewTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Overview()->resize(200, 200);
        Overview()->show();
        // Parts of distinct colours, with a stripe so that no part is one flat colour.
        for (int n = 0; n < TPartsStore::PartCount; ++n) {
            QImage picture(PartsStore().PartWidth(), PartsStore().PartHeight(),
                           QImage::Format_RGB32);
            picture.fill(qRgb(n, (n * 37) & 0xff, 255 - n));
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, n % picture.height(), qRgb(250, n / 3, 7));
            PartsStore().CapturePart(n, picture, 0, 0);
        }
    }

    TMainForm* Main() { return Forms().MainForm; }
    TOverviewForm* Overview() { return Forms().OverviewForm; }
    TMapSession& Session() { return Program->Models().Session; }
    TMapDocument& Doc() { return Program->Models().Document; }

    // The overview worked out the plain way: each part's pixels averaged, then each
    // block's cells.
    QImage ReferencePicture()
    {
        const auto average = [](uint64_t sum, uint64_t n) { return int((sum + n / 2) / n); };
        std::array<QRgb, 256> colors{};
        for (int n = 0; n < 256; ++n) {
            const QImage& part = PartsStore().PartBitmap(n);
            uint64_t r = 0, g = 0, b = 0;
            for (int y = 0; y < part.height(); ++y)
                for (int x = 0; x < part.width(); ++x) {
                    const QRgb c = part.pixel(x, y);
                    r += qRed(c), g += qGreen(c), b += qBlue(c);
                }
            const uint64_t count = uint64_t(part.width()) * part.height();
            colors[size_t(n)] = qRgb(average(r, count), average(g, count), average(b, count));
        }
        const int w = Doc().MapWidth(), h = Doc().MapHeight();
        const int block = TMapOverview::BlockSizeFor(w, h);
        QImage out((w + block - 1) / block, (h + block - 1) / block, QImage::Format_RGB32);
        for (int by = 0; by < out.height(); ++by)
            for (int bx = 0; bx < out.width(); ++bx) {
                uint64_t r = 0, g = 0, b = 0, n = 0;
                for (int x = bx * block; x < std::min(w, (bx + 1) * block); ++x)
                    for (int y = by * block; y < std::min(h, (by + 1) * block); ++y, ++n) {
                        const QRgb c = colors[Doc().Cell(x, y)];
                        r += qRed(c), g += qGreen(c), b += qBlue(c);
                    }
                out.setPixel(bx, by, qRgb(average(r, n), average(g, n), average(b, n)));
            }
        return out;
    }
};

// After every kind of change the overview equals the plain downscale, and each changed
// pixel lies in a rectangle the overview announced.
TEST_F(OverviewTest, PictureFollowsEveryChange)
{
    const TMapOverview& overview = Overview()->Overview();
    QImage recolored(PartsStore().PartWidth(), PartsStore().PartHeight(), QImage::Format_RGB32);
    recolored.fill(qRgb(12, 200, 99));
    // Maps wider than the picture may be: blocks of 2 x 2 and of 5 x 5 cells, the last ones
    // cut; enough cells for the work to be shared among threads, and a picture taller
    // than the tiles the blocks are worked through in.
    int w = 0, h = 0;
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"new map", [&] { Session().NewMap(w, h); }},
        {"stamp",
         [&] {
             Doc().SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(10 + gx + 3 * gy); });
             Doc().StampGroup({5, 3, w * 3 / 4, h - 30});
         }},
        {"fill",
         [&] {
             Doc().FillMapRect({w - 101, h / 2, w - 1, h - 1}, 77);
         }},
        {"scatter",
         [&] {
             Doc().ScatterGroup({0, 0, w - 1, h / 2}, 5);
         }},
        {"replace",
         [&] {
             Doc().ReplaceParts({0, 0, w - 1, h - 1}, 12, 200);
         }},
        {"exchange in map",
         [&] {
             Doc().ExchangePartsInRect({3, 3, w * 3 / 7, h - 2}, 10, 77);
         }},
        {"part edit",
         [&] {
             PartsStore().EditParts({11}, [&] {
                 PartsStore().CapturePart(11, recolored, 0, 0);
                 return true;
             });
         }},
        {"exchange parts", [&] { Session().ExchangeParts(13, 200); }},
        {"undo", [&] { ASSERT_TRUE(Doc().Undo()); }},
        {"undo", [&] { ASSERT_TRUE(Doc().Undo()); }},
        {"undo", [&] { ASSERT_TRUE(Doc().Undo()); }},
        {"redo", [&] { ASSERT_TRUE(Doc().Redo()); }},
        {"redo", [&] { ASSERT_TRUE(Doc().Redo()); }},
    };
    for (const QSize size : {QSize(2101, 501), QSize(9999, 121), QSize(1201, 2401)})
        for (const auto& [name, step] : steps) {
            w = size.width(), h = size.height();
            SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + ": " + name);
            const QImage before = overview.Picture().copy();
            QSignalSpy spy(&overview, &TMapOverview::pictureChanged);
            step();
            Overview()->Overview().Flush(); // a part's new colour is gathered first
            const QImage after = overview.Picture();
            ASSERT_EQ(after, ReferencePicture());
            if (before.size() != after.size())
                continue;
            QRect announced;
            for (const QList<QVariant>& args : spy)
                announced |= args.at(0).toRect();
            for (int y = 0; y < after.height(); ++y)
                for (int x = 0; x < after.width(); ++x)
                    if (before.pixel(x, y) != after.pixel(x, y)) {
                        ASSERT_TRUE(announced.contains(x, y)) << x << "," << y;
                    }
        }
}

// At one pixel a cell the window shows each cell in its part's colour, around the outline.
TEST_F(OverviewTest, WindowShowsTheCellColours)
{
    Session().NewMap(120, 80);
    Doc().SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(40 + gx + 3 * gy); });
    Doc().StampGroup({30, 10, 100, 70});
    Overview()->resize(120, 80);
    ASSERT_EQ(Overview()->Scale(), 1.0);
    const QImage shown = Overview()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage expected = ReferencePicture();
    const QRect outline = Overview()->OutlineRect().adjusted(-2, -2, 2, 2);
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (!outline.contains(x, y)) {
                ASSERT_EQ(shown.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
            }
}

// A stroke of part edits (as the magnifier stores them) reaches the overview by itself,
// in the part's last colour.
TEST_F(OverviewTest, PartEditsArriveByThemselves)
{
    Session().NewMap(120, 80);
    Doc().FillMapRect({10, 10, 60, 40}, 9);
    QImage picture(PartsStore().PartWidth(), PartsStore().PartHeight(), QImage::Format_RGB32);
    for (const QRgb color : {qRgb(200, 10, 10), qRgb(10, 200, 10), qRgb(10, 10, 200)}) {
        picture.fill(color);
        PartsStore().CapturePart(9, picture, 0, 0);
    }
    QTRY_COMPARE(Overview()->Overview().Picture(), ReferencePicture());
}

// 全体図(&O) shows and hides the window and is checked while it shows; whether it shows and
// stays on top is there again at the next start.
TEST_F(OverviewTest, MenuItemAndRememberedState)
{
    QAction* item = Main()->Overview1;
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F3));
    EXPECT_TRUE(item->isChecked());
    item->trigger();
    EXPECT_FALSE(Overview()->isVisible());
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    EXPECT_TRUE(Overview()->isVisible());
    EXPECT_TRUE(item->isChecked());
    Overview()->close();
    EXPECT_FALSE(item->isChecked());
    Overview()->SetStaysOnTopChoice(false);
    RestartProgram();
    EXPECT_FALSE(Overview()->isVisible());
    EXPECT_FALSE(Main()->Overview1->isChecked());
    EXPECT_FALSE(Overview()->StaysOnTop());
}

// A click centres the main view on the cell under it, also at the zoom view in part-graphic
// mode, where the magnifier goes as on any scroll.
TEST_F(OverviewTest, ClickCentresMainView)
{
    Session().NewMap(1000, 800);
    TDrawGrid* grid = Main()->MapGrid;
    for (const bool lupe : {false, true}) {
        SCOPED_TRACE(lupe ? "part-graphic mode" : "scroll mode");
        if (lupe) {
            Settings().SetZoomLevel(zlZoom);
            Main()->SetLupeMode();
            ASSERT_TRUE(Main()->Lupe->isVisible());
        }
        const QPoint pos(120, 70 + 40 * lupe);
        const QPoint cell = Overview()->CellAt(pos);
        QTest::mouseClick(Overview(), Qt::LeftButton, {}, pos);
        EXPECT_EQ(grid->LeftCol(), cell.x() - grid->VisibleColCount() / 2);
        EXPECT_EQ(grid->TopRow(), cell.y() - grid->VisibleRowCount() / 2);
        EXPECT_FALSE(Main()->Lupe->isVisible());
    }
}

// The outline is drawn around the main view's cells wherever the view scrolls.
TEST_F(OverviewTest, OutlineFollowsScrolling)
{
    Session().NewMap(400, 400);
    Overview()->ZoomAround(4, QPointF(0, 0)); // closer, to see the outline's place exactly
    TDrawGrid* grid = Main()->MapGrid;
    const QRgb outline = qRgb(255, 48, 48);
    for (const QPoint topLeft : {QPoint(0, 0), QPoint(7, 3), QPoint(2, 11)}) {
        grid->SetLeftCol(topLeft.x());
        grid->SetTopRow(topLeft.y());
        const QImage shown = Overview()->grab().toImage();
        const QRect cellRect =
            Overview()->ScreenRectOf({topLeft.x(), topLeft.y(), topLeft.x(), topLeft.y()});
        EXPECT_EQ(shown.pixel(cellRect.topLeft() + QPoint(0, cellRect.height() / 2)), outline)
            << topLeft.x() << "," << topLeft.y();
        EXPECT_EQ(shown.pixel(cellRect.topLeft() + QPoint(cellRect.width() / 2, 0)), outline);
    }
}

// The overview of the largest map, with its build on all threads, costs under 32 MB
// above the map and the parts.
TEST(OverviewMemory, LargestMapUnder32MB)
{
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    TPartsStore parts(formats);
    TMapDocument doc;
    doc.NewMap(TMapDocument::MaxMapSize, TMapDocument::MaxMapSize);
    doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
    doc.StampGroup({0, 0, TMapDocument::MaxMapSize - 1, TMapDocument::MaxMapSize - 1});
    doc.History().Clear(); // every cell is resident now, in the parent
    const TChildPeak run = RunInChild([&] {
        long pages = 0, resident = 0;
        std::ifstream("/proc/self/statm") >> pages >> resident;
        TMapOverview overview(doc, parts);
        return int(resident * (sysconf(_SC_PAGESIZE) / 1024)); // kilobytes before it
    });
    ASSERT_TRUE(run.Finished);
    const qint64 cost = run.PeakBytes - qint64(run.Result) * 1024;
    std::printf("overview of 9999 x 9999 cells: %.1f MB\n", double(cost) / (1 << 20));
    EXPECT_LT(cost, (qint64(32) << 20) + SanitizerPeakSlack);
}

} // namespace

// Wide bright pictures, whose channel sums run past what one run of a line can hold.
TEST(OverviewColors, AverageOfWidePictures)
{
    for (const QSize size : {QSize(1, 1), QSize(257, 3), QSize(3000, 2)}) {
        QImage picture(size, QImage::Format_RGB32);
        uint64_t r = 0, g = 0, b = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb c = qRgb(255 - (x % 3), 255 - (y % 2), 250 + (x + y) % 6);
                picture.setPixel(x, y, c);
                r += qRed(c), g += qGreen(c), b += qBlue(c);
            }
        const uint64_t n = uint64_t(size.width()) * size.height();
        EXPECT_EQ(TMapOverview::AverageColor(picture),
                  qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n)))
            << size.width() << " x " << size.height();
    }
}
