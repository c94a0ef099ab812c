#include "DrawGrid.h"
#include "MapDocument.h"
#include "OverviewForm.h"
#include "Parts.h"
#include "ProgramFixture.h"
#include "main.h"
#include "title.h"
#include "tool.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>

namespace {

constexpr int Side = 64; // the part size: a sheet of 1024 x 1024

QRgb partColour(int part, int version)
{
    return qRgb(part, 255 - part, 40 + 60 * version);
}

QImage sheet(int version)
{
    QImage picture(16 * Side, 16 * Side, QImage::Format_RGB32);
    QPainter painter(&picture);
    for (int part = 0; part < 256; ++part)
        painter.fillRect(part % 16 * Side, part / 16 * Side, Side, Side,
                         QColor(partColour(part, version)));
    return picture;
}

double nowMs()
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// When the file under the name last changed: for a rename, the rename itself.
double changedMs(const QString& fileName)
{
    struct stat st;
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return 0;
    return double(st.st_ctim.tv_sec) * 1e3 + double(st.st_ctim.tv_nsec) / 1e6;
}

} // namespace

// The program on an X server; `mv` is the other program, saving the sheet by rename.
class ReloadEndToEndTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "needs X11: run through tests/e2e/run-under-xvfb.sh with QT_QPA_PLATFORM=xcb";
        ProgramTest::SetUp();
        Forms().TitleForm->CloseTitle();
    }

    TMainForm& Main() { return *Forms().MainForm; }

    // Whether the map window, as the screen shows it, has every sampled cell in the
    // version's colours.
    bool ScreenShows(int version)
    {
        QWidget* viewport = Main().MapGrid->viewport();
        const QImage screen =
            QGuiApplication::primaryScreen()->grabWindow(Main().winId()).toImage();
        for (const QPoint cell : {QPoint(0, 0), QPoint(3, 2), QPoint(7, 5), QPoint(2, 6)}) {
            const QPoint at =
                viewport->mapTo(&Main(), Main().MapGrid->CellRect(cell.x(), cell.y()).center());
            if (screen.pixel(at * screen.devicePixelRatio()) !=
                partColour(cell.y() * 16 + cell.x(), version))
                return false;
        }
        return true;
    }
};

TEST_F(ReloadEndToEndTest, SavesByRenameInAnotherProgramShowOnTheMapAndUndo)
{
    const QString mv = QStandardPaths::findExecutable(QStringLiteral("mv"));
    ASSERT_FALSE(mv.isEmpty());
    TPartsForm& parts = *Forms().PartsForm;
    parts.SetPartsSize(Side, Side);
    const QString picture = Dir.filePath(QStringLiteral("sheet.bmp"));
    ASSERT_TRUE(sheet(0).save(picture, "BMP"));
    ASSERT_TRUE(parts.LoadPartsPicture(picture));
    TMapDocument& doc = Program->Models().Document;
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 16; ++col)
            doc.SetCell(col, row, uint8_t(row * 16 + col));
    }
    // Without a window manager the windows overlap: only the map window stays on screen.
    parts.hide();
    Forms().ToolForm->hide();
    Forms().OverviewForm->hide();
    Main().resize(700, 500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ScreenShows(0); }, 10000));

    for (int version = 1; version <= 3; ++version) {
        const QString saved = Dir.filePath(QStringLiteral("saved%1.bmp").arg(version));
        ASSERT_TRUE(sheet(version).save(saved, "BMP"));
        ASSERT_EQ(QProcess::execute(mv, {saved, picture}), 0);
        const double renamed = changedMs(picture);
        ASSERT_TRUE(QTest::qWaitFor([&] { return ScreenShows(version); }, 10000))
            << "version " << version << " did not reach the screen";
        std::printf("rename to screen, version %d: %.0f ms\n", version, nowMs() - renamed);
    }

    Main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
    for (int version = 2; version >= 0; --version) {
        QTest::keyClick(&Main(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ScreenShows(version); }, 10000))
            << "Ctrl+Z did not bring back version " << version;
    }
}
