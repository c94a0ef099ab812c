#include "IniGT.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <array>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QString Prefix = QStringLiteral("WindowState");
const char* const Suffixes[] = {".Flags", ".Show", ".MaxX",  ".MaxY",
                                ".X",     ".Y",    ".XSize", ".YSize"};

class WindowPlacementTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ini.SetDefaultDir(ddNone);
        ini.SetFileName(dir.filePath("Quiltmapper.ini"));
    }

    // The eight keys in record order, -99 for a missing one.
    std::array<qint32, 8> record(const QString& section) const
    {
        std::array<qint32, 8> values{};
        for (int i = 0; i < 8; ++i)
            values[i] = ini.ReadInteger(section, Prefix + Suffixes[i], -99);
        return values;
    }

    void writeRecord(const QString& section, const std::array<qint32, 8>& values)
    {
        for (int i = 0; i < 8; ++i)
            ini.WriteInteger(section, Prefix + Suffixes[i], values[i]);
    }

    static void showAt(QWidget& w, const QRect& frame)
    {
        w.move(frame.topLeft());
        w.resize(frame.size());
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }

    QTemporaryDir dir;
    TIniGT ini;
};

TEST_F(WindowPlacementTest, NormalWindowRoundTrip)
{
    QWidget first;
    showAt(first, QRect(120, 80, 400, 300));
    ini.WriteWindowPlacement("MainWindow", Prefix, &first);

    const QRect normal = first.geometry();
    EXPECT_EQ(record("MainWindow"),
              (std::array<qint32, 8>{0, 1, -1, -1, normal.left(), normal.top(), normal.left() + 400,
                                     normal.top() + 300}));

    QWidget second;
    showAt(second, QRect(10, 10, 50, 60));
    ini.ReadWindowPlacement("MainWindow", Prefix, &second);
    EXPECT_EQ(second.geometry(), normal);
    EXPECT_EQ(second.frameGeometry(), first.frameGeometry());

    ini.WriteWindowPlacement("Copy", Prefix, &second);
    EXPECT_EQ(record("Copy"), record("MainWindow"));
}

TEST_F(WindowPlacementTest, RightAndBottomAreCoordinates)
{
    writeRecord("PartsWindow", {0, 1, -1, -1, 100, 50, 500, 350});
    QWidget window;
    showAt(window, QRect(0, 0, 80, 80));
    ini.ReadWindowPlacement("PartsWindow", Prefix, &window);
    EXPECT_EQ(window.geometry(), QRect(100, 50, 400, 300));
    EXPECT_EQ(window.windowState(), Qt::WindowNoState);

    // A window not yet shown, whose frame is not known, keeps the rectangle when shown.
    QWidget hidden;
    ini.ReadWindowPlacement("PartsWindow", Prefix, &hidden);
    hidden.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&hidden));
    EXPECT_EQ(hidden.geometry(), QRect(100, 50, 400, 300));
    ini.WriteWindowPlacement("Copy", Prefix, &hidden);
    EXPECT_EQ(record("Copy"), record("PartsWindow"));
}

TEST_F(WindowPlacementTest, MaximisedWindowKeepsItsNormalRectangle)
{
    QWidget first;
    showAt(first, QRect(60, 70, 300, 200));
    const QRect normal = first.geometry();
    first.setWindowState(Qt::WindowMaximized);
    ini.WriteWindowPlacement("MainWindow", Prefix, &first);
    EXPECT_EQ(
        record("MainWindow"),
        (std::array<qint32, 8>{0, 3, -1, -1, normal.left(), normal.top(),
                               normal.left() + normal.width(), normal.top() + normal.height()}));

    QWidget second;
    showAt(second, QRect(0, 0, 100, 100));
    ini.ReadWindowPlacement("MainWindow", Prefix, &second);
    EXPECT_TRUE(second.isMaximized());
    ini.WriteWindowPlacement("Copy", Prefix, &second);
    EXPECT_EQ(record("Copy"), record("MainWindow"));

    second.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(second.geometry(), normal);
}

TEST_F(WindowPlacementTest, MinimisedStates)
{
    QWidget first;
    showAt(first, QRect(40, 30, 200, 150));
    first.setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
    ini.WriteWindowPlacement("MainWindow", Prefix, &first);
    const std::array<qint32, 8> written = record("MainWindow");
    EXPECT_EQ(written[0], 2);
    EXPECT_EQ(written[1], 2);

    QWidget second;
    ini.ReadWindowPlacement("MainWindow", Prefix, &second);
    EXPECT_EQ(second.windowState(), Qt::WindowMinimized | Qt::WindowMaximized);
    ini.WriteWindowPlacement("Copy", Prefix, &second);
    EXPECT_EQ(record("Copy"), written);

    // Without the flag a minimised window returns to the normal state.
    ini.WriteInteger("MainWindow", Prefix + ".Flags", 0);
    QWidget third;
    ini.ReadWindowPlacement("MainWindow", Prefix, &third);
    EXPECT_EQ(third.windowState(), Qt::WindowMinimized);
}

TEST_F(WindowPlacementTest, UnknownShowStateLeavesTheWindowShownAndNormal)
{
    for (qint32 show : {0, 5, 99}) {
        writeRecord("MainWindow", {0, show, -1, -1, 10, 20, 210, 170});
        QWidget window;
        showAt(window, QRect(0, 0, 50, 50));
        window.setWindowState(Qt::WindowMaximized);
        ini.ReadWindowPlacement("MainWindow", Prefix, &window);
        EXPECT_TRUE(window.isVisible()) << show;
        EXPECT_EQ(window.windowState(), Qt::WindowNoState) << show;
        EXPECT_EQ(window.geometry(), QRect(10, 20, 200, 150)) << show;
    }
}

TEST_F(WindowPlacementTest, MissingSectionLeavesTheWindowAsItWas)
{
    QWidget window;
    showAt(window, QRect(33, 44, 220, 110));
    const QRect normal = window.geometry();
    ini.ReadWindowPlacement("MainWindow", Prefix, &window);
    EXPECT_EQ(window.geometry(), normal);
    EXPECT_EQ(window.windowState(), Qt::WindowNoState);
    EXPECT_FALSE(QFile::exists(ini.FilePath()));

    // Single keys missing keep their current values too: a new left edge leaves the right
    // edge where it was.
    ini.WriteInteger("MainWindow", Prefix + ".X", 70);
    ini.ReadWindowPlacement("MainWindow", Prefix, &window);
    EXPECT_EQ(window.geometry(), QRect(QPoint(70, normal.top()), normal.bottomRight()));
}

TEST_F(WindowPlacementTest, InvertedOrExtremeRectanglesAreAppliedWithoutHarm)
{
    writeRecord("MainWindow", {0, 1, -1, -1, 300, 200, 100, 150});
    QWidget window;
    showAt(window, QRect(0, 0, 100, 100));
    ini.ReadWindowPlacement("MainWindow", Prefix, &window);
    EXPECT_EQ(window.geometry().topLeft(), QPoint(300, 200));
    EXPECT_LE(window.width(), 1);
    EXPECT_LE(window.height(), 1);
    ini.WriteWindowPlacement("Copy", Prefix, &window);
    EXPECT_EQ(ini.ReadInteger("Copy", Prefix + ".X", 0), 300);

    const qint32 lo = std::numeric_limits<qint32>::min();
    const qint32 hi = std::numeric_limits<qint32>::max();
    writeRecord("Extreme", {hi, hi, lo, lo, lo, hi, hi, lo});
    QWidget extreme;
    ini.ReadWindowPlacement("Extreme", Prefix, &extreme);
    extreme.show();
    ini.WriteWindowPlacement("Copy", Prefix, &extreme);
    EXPECT_LT(ini.ReadInteger("Copy", Prefix + ".X", 0), 0);
    EXPECT_GT(ini.ReadInteger("Copy", Prefix + ".Y", 0), 0);
}

TEST_F(WindowPlacementTest, PositionHoldsOnlyLeftAndTop)
{
    QWidget tool;
    showAt(tool, QRect(30, 40, 120, 90));
    ini.WritePosition("ToolBox", Prefix, &tool);
    EXPECT_EQ(ini.ReadInteger("ToolBox", Prefix + ".X", 0), 30);
    EXPECT_EQ(ini.ReadInteger("ToolBox", Prefix + ".Y", 0), 40);
    EXPECT_EQ(ini.ReadInteger("ToolBox", Prefix + ".XSize", -99), -99);
    EXPECT_EQ(ini.ReadInteger("ToolBox", Prefix + ".Show", -99), -99);

    QWidget other;
    showAt(other, QRect(300, 300, 55, 66));
    const QSize size = other.size();
    ini.ReadPosition("ToolBox", Prefix, &other);
    EXPECT_EQ(other.pos(), QPoint(30, 40));
    EXPECT_EQ(other.size(), size);

    // Any widget with a position will do, a child among them; a missing key keeps its value.
    QWidget parent;
    QWidget child(&parent);
    child.move(5, 6);
    ini.WriteInteger("Child", Prefix + ".Y", 17);
    ini.ReadPosition("Child", Prefix, &child);
    EXPECT_EQ(child.pos(), QPoint(5, 17));
}

} // namespace
