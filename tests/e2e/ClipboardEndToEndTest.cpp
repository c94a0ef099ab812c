#include "NkClipDetector.h"
#include "Parts.h"
#include "ProgramFixture.h"
#include "title.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

QRgb partColour(int part, int shade)
{
    return qRgb(part, 255 - part, shade);
}

// A full sheet of 32 x 32 parts, each one plain colour.
QImage solidSheet(int shade)
{
    QImage sheet(512, 512, QImage::Format_RGB32);
    QPainter painter(&sheet);
    for (int part = 0; part < 256; ++part)
        painter.fillRect(part % 16 * 32, part / 16 * 32, 32, 32, QColor(partColour(part, shade)));
    return sheet;
}

bool partsShow(TPartsForm& parts, int shade)
{
    for (int part = 0; part < 256; ++part) {
        const QImage& picture = parts.PartBitmap(part);
        if (picture.pixel(0, 0) != partColour(part, shade) ||
            picture.pixel(31, 31) != partColour(part, shade))
            return false;
    }
    return true;
}

} // namespace

// The program on an X server, and xclip as the other program that copies pictures.
class ClipboardEndToEndTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "needs X11: run through tests/e2e/run-under-xvfb.sh with QT_QPA_PLATFORM=xcb";
        Xclip = QStandardPaths::findExecutable(QStringLiteral("xclip"));
        ASSERT_FALSE(Xclip.isEmpty()) << "xclip is missing: install the packages of "
                                         "scripts/install-deps.sh";
        ProgramTest::SetUp();
        Forms().TitleForm->CloseTitle();
    }

    void TearDown() override
    {
        for (const std::unique_ptr<QProcess>& copy : Copies) {
            copy->kill();
            copy->waitForFinished(5000);
        }
        Copies.clear();
        ProgramTest::TearDown();
    }

    // Copies a file in another program. xclip stays in the foreground (-quiet) to serve
    // the selection until another owner takes it or it is killed.
    void CopyInXclip(const QString& fileName,
                     const QString& selection = QStringLiteral("clipboard"),
                     const QString& type = QStringLiteral("image/png"))
    {
        auto copy = std::make_unique<QProcess>();
        copy->start(Xclip, {QStringLiteral("-quiet"), QStringLiteral("-selection"), selection,
                            QStringLiteral("-t"), type, QStringLiteral("-i"), fileName});
        ASSERT_TRUE(copy->waitForStarted(5000)) << qPrintable(copy->errorString());
        Copies.push_back(std::move(copy));
    }

    QString WritePng(const QString& name, int shade)
    {
        const QString path = Dir.filePath(name);
        EXPECT_TRUE(solidSheet(shade).save(path, "PNG"));
        return path;
    }

    QString Xclip;
    std::vector<std::unique_ptr<QProcess>> Copies;
};

TEST_F(ClipboardEndToEndTest, WatchingTakesPicturesCopiedInAnotherProgram)
{
    TPartsForm& parts = *Forms().PartsForm;
    // A second detector beside the window's counts the notifications.
    TNkClipDetector counter;
    int changes = 0;
    counter.SetOnClipChange([&changes](QObject*) { ++changes; });

    parts.N5->trigger();
    ASSERT_TRUE(parts.N5->isChecked());
    CopyInXclip(WritePng(QStringLiteral("first.png"), 11));
    ASSERT_TRUE(QTest::qWaitFor([&] { return partsShow(parts, 11); }, 10000))
        << "the picture copied in xclip did not reach the parts";
    // Time for any late second notification of the same copy.
    QTest::qWait(1000);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(parts.IsPartsModified());
    EXPECT_EQ(Script.Log, QStringList({"beep: default"}));

    // Watching off: the change is still noticed, but the parts stay.
    parts.N5->trigger();
    parts.ClearPartsModified();
    CopyInXclip(WritePng(QStringLiteral("second.png"), 22));
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes >= 2; }, 10000))
        << "the second copy was not noticed";
    QTest::qWait(2000);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(partsShow(parts, 11));
    EXPECT_FALSE(parts.IsPartsModified());
    EXPECT_EQ(Script.Log.size(), 1);

    // The program's own copy notifies once, inside the call, and once only.
    parts.P1Click();
    QTest::qWait(1000);
    EXPECT_EQ(changes, 3);

    // A mouse selection elsewhere (the primary selection) is no clipboard change.
    QSignalSpy selections(QGuiApplication::clipboard(), &QClipboard::changed);
    QFile text(Dir.filePath(QStringLiteral("text.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("selected");
    text.close();
    CopyInXclip(text.fileName(), QStringLiteral("primary"), QStringLiteral("UTF8_STRING"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::any_of(selections.begin(), selections.end(), [](const QList<QVariant>& s) {
                return s.at(0).value<QClipboard::Mode>() == QClipboard::Selection;
            });
        },
        10000))
        << "the primary selection was not noticed";
    QTest::qWait(500);
    EXPECT_EQ(changes, 3);
}
