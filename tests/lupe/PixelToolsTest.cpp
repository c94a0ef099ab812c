#include "PixelTools.h"

#include <QImage>
#include <QString>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

// A picture where every pixel differs from its neighbours, the drawing colours and their
// inversions, so that a stray preview pixel anywhere shows.
QRgb backdrop(int x, int y)
{
    return qRgb(40 + 17 * x, 60 + 13 * y, 200);
}

QImage backdropImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, backdrop(x, y));
    return image;
}

// '.' white, '#' black, 'r' red, 'b' blue, 'g' green.
QRgb colorOf(char c)
{
    switch (c) {
    case '#':
        return qRgb(0, 0, 0);
    case 'r':
        return qRgb(255, 0, 0);
    case 'b':
        return qRgb(0, 0, 255);
    case 'g':
        return qRgb(0, 255, 0);
    default:
        return qRgb(255, 255, 255);
    }
}

QImage picture(const std::vector<std::string>& rows)
{
    QImage image(int(rows[0].size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, colorOf(rows[y][x]));
    return image;
}

// The pixels that differ, as "(x,y)" texts, for readable failures.
std::string differences(const QImage& actual, const QImage& expected)
{
    std::string out;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if ((actual.pixel(x, y) & 0xFFFFFF) != (expected.pixel(x, y) & 0xFFFFFF))
                out += QStringLiteral("(%1,%2)").arg(x).arg(y).toStdString();
    return out;
}

struct Step
{
    char Kind; // 'P' press, 'M' move, 'R' release
    int X;
    int Y;
    Qt::MouseButton Button = Qt::LeftButton;
};

class PixelToolsTest : public ::testing::Test
{
protected:
    TStrokeStyle Style;
    QImage Buffer;
    TPixelTools Tools{Style};

    void SetUp() override { Tools.SetBuffer(&Buffer); }

    // Runs the steps; every pixel a call changes must lie in the rectangle it reports.
    void Run(const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            const QImage before = Buffer.copy();
            TPixelToolResult result;
            const QPoint pixel(step.X, step.Y);
            if (step.Kind == 'P')
                result = Tools.Press(pixel, step.Button);
            else if (step.Kind == 'M')
                result = Tools.Move(pixel);
            else
                result = Tools.Release(pixel);
            for (int y = 0; y < Buffer.height(); ++y)
                for (int x = 0; x < Buffer.width(); ++x)
                    if (Buffer.pixel(x, y) != before.pixel(x, y)) {
                        ASSERT_TRUE(result.Changed.contains(x, y))
                            << step.Kind << " at (" << step.X << "," << step.Y << ") changed (" << x
                            << "," << y << ") outside " << result.Changed.x() << ","
                            << result.Changed.y() << " " << result.Changed.width() << "x"
                            << result.Changed.height();
                    }
        }
    }
};

struct DrawRow
{
    const char* Name;
    TPixelTool Tool;
    int PenWidth;
    std::vector<Step> Steps;
    // '#' the drawing colour, '.' the backdrop as it was.
    std::vector<std::string> Expected;
    QColor Color = Qt::black;
};

TEST_F(PixelToolsTest, ToolsDrawExactlyTheirPixelsAndLeaveNoPreview)
{
    constexpr int Thin = TStrokeStyle::ThinPenWidth;
    constexpr int Thick = TStrokeStyle::ThickPenWidth;
    const std::vector<std::string> blank(10, "..........");
    auto with = [&](std::vector<std::pair<int, int>> points) {
        std::vector<std::string> rows = blank;
        for (auto [x, y] : points)
            rows[y][x] = '#';
        return rows;
    };
    const DrawRow rows[] = {
        {"freehand click", ptFreeLine, Thin, {{'P', 3, 3}, {'R', 3, 3}}, with({{3, 3}})},
        {"freehand click, thick pen",
         ptFreeLine,
         Thick,
         {{'P', 3, 3}, {'R', 3, 3}},
         with({{3, 3}})},
        {"freehand jitter inside one pixel, thick pen",
         ptFreeLine,
         Thick,
         {{'P', 3, 3}, {'M', 3, 3}, {'M', 3, 3}, {'R', 3, 3}},
         with({{3, 3}})},
        {"freehand stroke joins its moves",
         ptFreeLine,
         Thin,
         {{'P', 1, 1}, {'M', 4, 1}, {'M', 4, 3}, {'R', 4, 3}},
         with({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}})},
        {"freehand stroke, thick pen",
         ptFreeLine,
         Thick,
         {{'P', 2, 2}, {'M', 5, 2}, {'R', 5, 2}},
         {"..........", ".######...", ".######...", ".######...", "..........", "..........",
          "..........", "..........", "..........", ".........."}},
        {"freehand stroke leaving the part is clipped",
         ptFreeLine,
         Thin,
         {{'P', 7, 5}, {'M', 12, 5}, {'M', 20, 5}, {'R', 20, 5}},
         with({{7, 5}, {8, 5}, {9, 5}})},
        {"line click", ptLine, Thin, {{'P', 3, 4}, {'R', 3, 4}}, with({{3, 4}})},
        {"line click, thick pen", ptLine, Thick, {{'P', 3, 4}, {'R', 3, 4}}, with({{3, 4}})},
        {"line after many previews",
         ptLine,
         Thin,
         {{'P', 1, 1}, {'M', 6, 2}, {'M', 2, 6}, {'M', 8, 8}, {'M', 5, 5}, {'R', 5, 5}},
         with({{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}})},
        {"line released away from its last preview",
         ptLine,
         Thin,
         {{'P', 1, 1}, {'M', 6, 1}, {'R', 1, 6}},
         with({{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}})},
        {"line back to its start",
         ptLine,
         Thick,
         {{'P', 4, 4}, {'M', 7, 4}, {'M', 4, 4}, {'R', 4, 4}},
         with({{4, 4}})},
        {"line, thick pen, diagonal",
         ptLine,
         Thick,
         {{'P', 2, 2}, {'M', 4, 4}, {'M', 5, 5}, {'R', 5, 5}},
         {"..........", ".###......", ".####.....", ".#####....", "..#####...", "...####...",
          "....###...", "..........", "..........", ".........."}},
        {"line through the part, clipped",
         ptLine,
         Thin,
         {{'P', -5, 4}, {'M', 0, 0}, {'M', 14, 4}, {'R', 14, 4}},
         with({{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}, {8, 4}, {9, 4}})},
        {"box leaves out its larger row and column",
         ptBox,
         Thin,
         {{'P', 2, 2}, {'M', 4, 3}, {'M', 5, 5}, {'R', 5, 5}},
         with({{2, 2}, {3, 2}, {4, 2}, {2, 3}, {4, 3}, {2, 4}, {3, 4}, {4, 4}})},
        {"box dragged backwards",
         ptBox,
         Thin,
         {{'P', 5, 5}, {'M', 1, 1}, {'M', 2, 2}, {'R', 2, 2}},
         with({{2, 2}, {3, 2}, {4, 2}, {2, 3}, {4, 3}, {2, 4}, {3, 4}, {4, 4}})},
        {"box in one row draws nothing",
         ptBox,
         Thin,
         {{'P', 2, 2}, {'M', 7, 7}, {'M', 6, 2}, {'R', 6, 2}},
         blank},
        {"box in one column draws nothing, thick pen",
         ptBox,
         Thick,
         {{'P', 3, 2}, {'M', 7, 7}, {'R', 3, 8}},
         blank},
        {"box, thick pen",
         ptBox,
         Thick,
         {{'P', 2, 2}, {'M', 6, 4}, {'M', 8, 8}, {'R', 8, 8}},
         {"..........", ".########.", ".########.", ".########.", ".###..###.", ".###..###.",
          ".########.", ".########.", ".########.", ".........."}},
        {"box over the corner of the part",
         ptBox,
         Thin,
         {{'P', -3, -3}, {'M', 5, 5}, {'R', 3, 3}},
         with({{0, 2}, {1, 2}, {2, 2}, {2, 0}, {2, 1}})},
        {"filled box in red over a picture",
         ptBoxFill,
         Thin,
         {{'P', 2, 2}, {'M', 8, 3}, {'M', 9, 9}, {'M', 4, 7}, {'M', 6, 5}, {'R', 6, 5}},
         {"..........", "..........", "..####....", "..####....", "..####....", "..........",
          "..........", "..........", "..........", ".........."},
         Qt::red},
        {"filled box, thick pen",
         ptBoxFill,
         Thick,
         {{'P', 8, 8}, {'M', 3, 3}, {'M', 2, 2}, {'R', 2, 2}},
         {"..........", ".########.", ".########.", ".########.", ".########.", ".########.",
          ".########.", ".########.", ".########.", ".........."},
         Qt::red},
    };

    for (const DrawRow& row : rows) {
        SCOPED_TRACE(row.Name);
        Style.Tool = row.Tool;
        Style.PenWidth = row.PenWidth;
        Style.Color = QColor(row.Color);
        Buffer = backdropImage(10, 10);
        Run(row.Steps);
        EXPECT_FALSE(Tools.Dragging());

        QImage expected = backdropImage(10, 10);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                if (row.Expected[y][x] == '#')
                    expected.setPixel(x, y, row.Color.rgb());
        EXPECT_EQ(differences(Buffer, expected), "");
    }
}

TEST_F(PixelToolsTest, PreviewsInvertThePictureWhileTheyShow)
{
    Buffer = backdropImage(10, 10);
    const QImage original = Buffer.copy();
    auto inverted = [&](int x, int y) { return Buffer.pixel(x, y) == (backdrop(x, y) ^ 0xFFFFFF); };

    Style.Tool = ptLine;
    Run({{'P', 1, 1}, {'M', 4, 1}});
    for (int x = 1; x <= 4; ++x)
        EXPECT_TRUE(inverted(x, 1)) << x;
    EXPECT_FALSE(inverted(5, 1));
    // The next preview takes the last one away.
    Run({{'M', 1, 3}});
    for (int x = 2; x <= 4; ++x)
        EXPECT_EQ(Buffer.pixel(x, 1), original.pixel(x, 1)) << x;
    EXPECT_TRUE(inverted(1, 2) && inverted(1, 3));

    // A flip or a new press takes the preview away too, and the part keeps no trace.
    Tools.FlipHorizontal();
    Tools.FlipHorizontal();
    EXPECT_EQ(differences(Buffer, original), "");
    Run({{'M', 5, 5}, {'P', 0, 0, Qt::MiddleButton}, {'R', 0, 0}});
    EXPECT_EQ(differences(Buffer, original), "");

    // The filled box's interior mixes in the brush: white before the first stroke ends,
    // then the drawing colour of the last stroke (black here, which shows nothing).
    Style.Tool = ptBoxFill;
    TPixelTools fresh(Style);
    fresh.SetBuffer(&Buffer);
    fresh.Press({1, 1}, Qt::LeftButton);
    fresh.Move({5, 5});
    EXPECT_TRUE(inverted(1, 1));
    EXPECT_TRUE(inverted(2, 2));
    EXPECT_FALSE(inverted(5, 5));
    fresh.Cancel();
    EXPECT_EQ(differences(Buffer, original), "");
    Run({{'P', 1, 1}, {'M', 5, 5}});
    EXPECT_TRUE(inverted(1, 1));
    EXPECT_EQ(Buffer.pixel(2, 2), original.pixel(2, 2));
    Tools.Cancel();
    EXPECT_EQ(differences(Buffer, original), "");
}

struct FillRow
{
    const char* Name;
    std::vector<std::string> Before;
    QPoint Press;
    QPoint Release;
    std::vector<std::string> After;
};

TEST_F(PixelToolsTest, FillCoversTheClosedAreaOfTheReleasePixel)
{
    const std::vector<std::string> diamond = {
        "........", "...#....", "..#.#...", ".#...#..", "..#.#...", "...#....", "........",
    };
    const FillRow rows[] = {
        {"inside lines that touch at corners",
         diamond,
         {3, 3},
         {3, 3},
         {"........", "...#....", "..#r#...", ".#rrr#..", "..#r#...", "...#....", "........"}},
        {"outside, up to every edge of the part",
         diamond,
         {0, 0},
         {7, 6},
         {"rrrrrrrr", "rrr#rrrr", "rr#.#rrr", "r#...#rr", "rr#.#rrr", "rrr#rrrr", "rrrrrrrr"}},
        {"the release pixel counts, not the press pixel",
         diamond,
         {0, 0},
         {3, 2},
         {"........", "...#....", "..#r#...", ".#rrr#..", "..#r#...", "...#....", "........"}},
        {"only exactly the same colour",
         {"..b.", "..bb", "g...", "...."},
         {0, 0},
         {0, 0},
         {"rrb.", "rrbb", "grrr", "rrrr"}},
        {"a pixel that already has the colour",
         {"rrr.", "r.r.", "rrr."},
         {1, 0},
         {1, 0},
         {"rrr.", "r.r.", "rrr."}},
        {"outside the part", diamond, {3, 3}, {8, 3}, diamond},
        {"a one-pixel area", {"#.#", ".#.", "#.#"}, {1, 1}, {1, 1}, {"#.#", ".r.", "#.#"}},
    };

    Style.Tool = ptPaint;
    Style.Color = QColor(Qt::red);
    for (const FillRow& row : rows) {
        SCOPED_TRACE(row.Name);
        Buffer = picture(row.Before);
        Run({{'P', row.Press.x(), row.Press.y()}, {'R', row.Release.x(), row.Release.y()}});
        EXPECT_EQ(differences(Buffer, picture(row.After)), "");
    }

    // Nothing happens before the release.
    Buffer = picture(diamond);
    EXPECT_TRUE(Tools.Press({3, 3}, Qt::LeftButton).Changed.isEmpty());
    EXPECT_TRUE(Tools.Move({3, 2}).Changed.isEmpty());
    EXPECT_EQ(Tools.Release({3, 2}).Changed, QRect(2, 2, 3, 3));
}

// The fill against a plain breadth-first search over the four neighbours, on random
// pictures of few colours, so that areas of every shape come up.
TEST_F(PixelToolsTest, FillMatchesASearchOfTheFourNeighbours)
{
    Style.Tool = ptPaint;
    Style.Color = QColor(Qt::red);
    const QRgb colors[] = {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(0, 0, 255)};
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const int width = 1 + int(random() % 23);
        const int height = 1 + int(random() % 17);
        const int kinds = 2 + int(random() % 2);
        Buffer = QImage(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                Buffer.setPixel(x, y, colors[random() % kinds]);
        const QPoint seed(int(random() % width), int(random() % height));

        QImage expected = Buffer.copy();
        const QRgb target = expected.pixel(seed);
        std::vector<QPoint> queue{seed};
        expected.setPixel(seed, qRgb(255, 0, 0));
        QRect bounds(seed, QSize(1, 1));
        for (size_t i = 0; i < queue.size(); ++i) {
            const QPoint p = queue[i];
            bounds |= QRect(p, QSize(1, 1));
            for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                const QPoint n = p + d;
                if (expected.rect().contains(n) && expected.pixel(n) == target) {
                    expected.setPixel(n, qRgb(255, 0, 0));
                    queue.push_back(n);
                }
            }
        }

        Tools.Press(seed, Qt::LeftButton);
        const QRect changed = Tools.Release(seed).Changed;
        ASSERT_EQ(differences(Buffer, expected), "") << "round " << round;
        ASSERT_EQ(changed, bounds) << "round " << round;
    }
}

TEST_F(PixelToolsTest, RightButtonPicksTheColourUnderThePointer)
{
    Buffer = picture({"rgb.", "...."});
    Style.Tool = ptLine;
    Style.Color = QColor(Qt::black);

    TPixelToolResult result = Tools.Press({0, 0}, Qt::RightButton);
    EXPECT_EQ(result.PanelColor, QColor(Qt::red));
    EXPECT_FALSE(result.PickedColor);
    EXPECT_EQ(Tools.Move({1, 0}).PanelColor, QColor(Qt::green));
    EXPECT_EQ(Tools.Move({2, 0}).PanelColor, QColor(Qt::blue));
    EXPECT_FALSE(Tools.Move({-1, 0}).PanelColor);
    result = Tools.Release({2, 0});
    EXPECT_EQ(result.PickedColor, QColor(Qt::blue));
    EXPECT_EQ(result.PanelColor, QColor(Qt::blue));
    EXPECT_TRUE(result.Changed.isEmpty());

    // Released outside the part: nothing picked, the panel shows the drawing colour again.
    Tools.Press({1, 0}, Qt::RightButton);
    result = Tools.Release({4, 0});
    EXPECT_FALSE(result.PickedColor);
    EXPECT_EQ(result.PanelColor, QColor(Qt::black));

    EXPECT_EQ(differences(Buffer, picture({"rgb.", "...."})), "");
}

TEST_F(PixelToolsTest, FlipsAndTurnsMoveEveryPixelAndFourRestoreThePart)
{
    Buffer = backdropImage(32, 16);
    const QImage wide = Buffer.copy();
    EXPECT_EQ(Tools.FlipHorizontal(), QRect(0, 0, 32, 16));
    EXPECT_EQ(Buffer.pixel(31, 5), wide.pixel(0, 5));
    Tools.FlipHorizontal();
    EXPECT_EQ(Buffer, wide);
    Tools.FlipVertical();
    EXPECT_EQ(Buffer.pixel(0, 10), wide.pixel(0, 5));
    Tools.FlipVertical();
    EXPECT_EQ(Buffer, wide);

    // A part that is not square cannot turn.
    EXPECT_FALSE(TPixelTools::CanRotate(Buffer.size()));
    EXPECT_TRUE(Tools.RotateLeft().isEmpty());
    EXPECT_TRUE(Tools.RotateRight().isEmpty());
    EXPECT_EQ(Buffer, wide);

    Buffer = picture({"#...", "....", "....", "...r"});
    EXPECT_TRUE(TPixelTools::CanRotate(Buffer.size()));
    Tools.RotateRight();
    EXPECT_EQ(differences(Buffer, picture({"...#", "....", "....", "r..."})), "");
    Tools.RotateLeft();
    Tools.RotateLeft();
    EXPECT_EQ(differences(Buffer, picture({"...r", "....", "....", "#..."})), "");

    Buffer = backdropImage(16, 16);
    const QImage square = Buffer.copy();
    using Transform = QRect (TPixelTools::*)();
    const std::pair<const char*, Transform> transforms[] = {
        {"horizontal", &TPixelTools::FlipHorizontal},
        {"vertical", &TPixelTools::FlipVertical},
        {"left", &TPixelTools::RotateLeft},
        {"right", &TPixelTools::RotateRight},
    };
    for (auto [name, transform] : transforms) {
        SCOPED_TRACE(name);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ((Tools.*transform)(), QRect(0, 0, 16, 16));
            if (i == 0) {
                EXPECT_NE(Buffer, square);
            }
        }
        EXPECT_EQ(Buffer, square);
    }

    // Without a picture nothing happens.
    Buffer = QImage();
    EXPECT_TRUE(Tools.FlipHorizontal().isEmpty());
    EXPECT_TRUE(Tools.RotateRight().isEmpty());
    EXPECT_TRUE(Tools.Press({0, 0}, Qt::LeftButton).Changed.isEmpty());
    EXPECT_TRUE(Tools.Release({0, 0}).Changed.isEmpty());
}

TEST_F(PixelToolsTest, PenWidthAndToolHoldForTheWholeStroke)
{
    Buffer = backdropImage(10, 10);
    const QImage original = Buffer.copy();
    Style.Tool = ptLine;
    Style.PenWidth = TStrokeStyle::ThinPenWidth;
    Run({{'P', 1, 5}, {'M', 8, 5}});
    // Changing the style mid-stroke must not leave the preview behind.
    Style.PenWidth = TStrokeStyle::ThickPenWidth;
    Style.Tool = ptBox;
    Run({{'M', 6, 5}, {'R', 6, 5}});
    QImage expected = original.copy();
    for (int x = 1; x <= 6; ++x)
        expected.setPixel(x, 5, qRgb(0, 0, 0));
    EXPECT_EQ(differences(Buffer, expected), "");
}

} // namespace
