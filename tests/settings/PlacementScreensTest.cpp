#include "IniGT.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QString Prefix = QStringLiteral("WindowState");

QRect desktop()
{
    QRect desk;
    for (const QScreen* screen : QGuiApplication::screens())
        desk |= screen->geometry();
    return desk;
}

bool onSomeScreen(const QRect& r)
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(r))
            return true;
    }
    return false;
}

class PlacementScreensTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        FIni.SetDefaultDir(ddNone);
        FIni.SetFileName(FDir.filePath(QStringLiteral("Quiltmapper.ini")));
        FDesk = desktop();
        ASSERT_FALSE(FDesk.isEmpty());
    }

    void writeRecord(qint32 x, qint32 y, qint32 right, qint32 bottom)
    {
        const qint32 values[] = {0, 1, -1, -1, x, y, right, bottom};
        const char* const suffixes[] = {".Flags", ".Show", ".MaxX",  ".MaxY",
                                        ".X",     ".Y",    ".XSize", ".YSize"};
        for (int i = 0; i < 8; ++i)
            FIni.WriteInteger(QStringLiteral("PartsWindow"), Prefix + suffixes[i], values[i]);
    }

    QTemporaryDir FDir;
    TIniGT FIni;
    QRect FDesk;
};

// A placement on the screens comes back exactly; one beyond them, or larger than all of
// them, brings the window back onto a screen at no more than the screens' size.
TEST_F(PlacementScreensTest, RestoredWindowsStayOnTheScreens)
{
    constexpr qint32 hi = std::numeric_limits<qint32>::max();
    constexpr qint32 lo = std::numeric_limits<qint32>::min();
    const int w = FDesk.width(), h = FDesk.height();
    const QRect r = FDesk;
    struct Case
    {
        const char* what;
        QRect placement; // X, Y, then XSize - X and YSize - Y
        bool kept;       // comes back exactly
    };
    const Case cases[] = {
        {"inside", {r.left() + 10, r.top() + 20, w / 2, h / 2}, true},
        {"the whole desktop", r, true},
        {"hanging over the top left", {r.left() - 100, r.top() - 50, 300, 200}, true},
        {"hanging over the bottom right", {r.right() - 20, r.bottom() - 20, 400, 300}, true},
        {"one pixel on", {r.right(), r.bottom(), 500, 500}, true},
        {"huge width", {r.left() + 10, r.top() + 10, hi - r.left() - 10, 300}, false},
        {"huge both", {r.left(), r.top(), hi - r.left(), hi - r.top()}, false},
        {"far right", {r.right() + 5000, r.top() + 10, 300, 200}, false},
        {"far left and up", {r.left() - 100000, r.top() - 100000, 300, 200}, false},
        {"far below", {r.left() + 30, r.bottom() + 1, 300, 200}, false},
        {"lowest corner", {lo, lo, 400, 300}, false},
        {"larger and beyond", {r.right() + 10, r.bottom() + 10, 3 * w, 3 * h}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect p = c.placement;
        writeRecord(p.left(), p.top(), qint32(qint64(p.left()) + p.width()),
                    qint32(qint64(p.top()) + p.height()));
        // Shown first: where a window first appears is the platform's to adjust (the
        // offscreen one keeps a new window's frame on the screen), which is not what this
        // test is about.
        QWidget window;
        window.setGeometry(FDesk.left() + 50, FDesk.top() + 50, 100, 80);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        FIni.ReadWindowPlacement(QStringLiteral("PartsWindow"), Prefix, &window);
        const QRect g = window.geometry();
        EXPECT_LE(g.width(), w);
        EXPECT_LE(g.height(), h);
        EXPECT_TRUE(onSomeScreen(g))
            << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
        if (c.kept) {
            EXPECT_EQ(g, p);
        } else {
            // Brought back as it was but for what had to change.
            EXPECT_NE(g, p);
            EXPECT_EQ(g.width(), std::min(p.width(), w));
            EXPECT_EQ(g.height(), std::min(p.height(), h));
        }
        // What is written back is what the window has: it round-trips from here on.
        FIni.WriteWindowPlacement(QStringLiteral("Copy"), Prefix, &window);
        QWidget again;
        FIni.ReadWindowPlacement(QStringLiteral("Copy"), Prefix, &again);
        EXPECT_EQ(again.geometry(), g);
    }
}

// A window placed by position alone (the tool box) comes back onto a screen too; a child
// widget's position is its parent's business and stays as given.
TEST_F(PlacementScreensTest, PositionsComeBackOntoAScreen)
{
    const QRect r = FDesk;
    struct Case
    {
        QPoint position;
        bool kept;
    };
    const Case cases[] = {
        {{r.left() + 30, r.top() + 40}, true},
        {{r.right() - 10, r.bottom() - 10}, true},
        {{r.right() + 10000, r.top() + 40}, false},
        {{std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.position.x() << "," << c.position.y());
        FIni.WriteInteger(QStringLiteral("ToolBox"), Prefix + ".X", c.position.x());
        FIni.WriteInteger(QStringLiteral("ToolBox"), Prefix + ".Y", c.position.y());
        QWidget tool;
        tool.resize(120, 90);
        FIni.ReadPosition(QStringLiteral("ToolBox"), Prefix, &tool);
        EXPECT_TRUE(onSomeScreen(QRect(tool.pos(), tool.size())));
        if (c.kept) {
            EXPECT_EQ(tool.pos(), c.position);
        }

        QWidget parent;
        QWidget child(&parent);
        FIni.ReadPosition(QStringLiteral("ToolBox"), Prefix, &child);
        EXPECT_EQ(child.x(), std::clamp(c.position.x(), -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    }
}

} // namespace
