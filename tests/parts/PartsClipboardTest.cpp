#include "DrawGrid.h"
#include "NkClipDetector.h"
#include "Parts.h"
#include "PartsTestSupport.h"
#include "ProgramFixture.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

class PartsClipboardTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        P().resize(700, 700);
        QCoreApplication::processEvents();
        fillWithGraphics(P().Store());
        Before = snapshotParts(P().Store());
    }

    TPartsForm& P() { return *Forms().PartsForm; }
    QWidget* Viewport() { return P().PartsGrid->viewport(); }

    // Selects cells (left, top) to (right, bottom) by dragging, as the user does.
    void Select(int left, int top, int right, int bottom)
    {
        const TDrawGrid& grid = *P().PartsGrid;
        QTest::mousePress(Viewport(), Qt::LeftButton, {}, grid.CellRect(left, top).center());
        QTest::mouseMove(Viewport(), grid.CellRect(right, bottom).center());
        QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, grid.CellRect(right, bottom).center());
        ASSERT_EQ(grid.Selection(), (TGridRect{left, top, right, bottom}));
    }

    QImage Placeholder(int part)
    {
        const TPartsStore fresh(Program->PictureFormats());
        return fresh.PartBitmap(part);
    }

    QClipboard& Clipboard() { return *QGuiApplication::clipboard(); }

    std::vector<QImage> Before;
};

TEST_F(PartsClipboardTest, PasteTilesTheCopiedBlockOverTheSelection)
{
    Select(0, 0, 1, 1);
    P().Copy1->trigger();
    EXPECT_FALSE(P().IsPartsModified());
    EXPECT_TRUE(P().Paste1->isEnabled() && P().P2->isEnabled());

    Select(2, 2, 6, 4); // 5 x 3 from part 34
    P().Paste1->trigger();
    const int rows[3][5] = {{0, 1, 0, 1, 0}, {16, 17, 16, 17, 16}, {0, 1, 0, 1, 0}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(P().PartBitmap(34 + r * 16 + c), Before[rows[r][c]]) << r << "," << c;
    }
    for (int part : {33, 39, 18, 82})
        EXPECT_EQ(P().PartBitmap(part), Before[part]) << part;
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_TRUE(P().Store().FileName().isEmpty());

    // A single cell receives only the block's top-left part.
    Select(0, 0, 2, 2);
    P().C1->trigger();
    Select(10, 10, 10, 10);
    P().P2->trigger();
    EXPECT_EQ(P().PartBitmap(170), Before[0]);
    EXPECT_EQ(P().PartBitmap(171), Before[171]);
    EXPECT_EQ(P().PartBitmap(186), Before[186]);
}

TEST_F(PartsClipboardTest, CutDeleteAndPasteAvailability)
{
    Select(3, 3, 4, 4);
    P().X1->trigger();
    for (int part : {51, 52, 67, 68})
        EXPECT_EQ(P().PartBitmap(part), Placeholder(part)) << part;
    EXPECT_EQ(P().PartBitmap(53), Before[53]);
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_TRUE(P().Paste1->isEnabled());
    P().ClearPartsModified();
    P().Paste1->trigger();
    EXPECT_EQ(snapshotParts(P().Store()), Before);
    EXPECT_TRUE(P().IsPartsModified());

    P().ClearPartsModified();
    Select(7, 0, 7, 1);
    P().D2->trigger();
    EXPECT_EQ(P().PartBitmap(7), Placeholder(7));
    EXPECT_EQ(P().PartBitmap(23), Placeholder(23));
    EXPECT_EQ(P().PartBitmap(8), Before[8]);
    EXPECT_TRUE(P().IsPartsModified());

    // A new part size, even the same one, empties the buffer until the next copy.
    P().SetPartsSize(32, 32);
    EXPECT_FALSE(P().Paste1->isEnabled() || P().P2->isEnabled());
    P().Paste1Click();
    EXPECT_FALSE(P().IsPartsModified());
    P().Copy1Click();
    EXPECT_TRUE(P().Paste1->isEnabled() && P().P2->isEnabled());
}

TEST_F(PartsClipboardTest, SheetGoesToTheClipboardAndComesBack)
{
    P().P1->trigger();
    const QImage sheet = Clipboard().image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(sheet.size(), QSize(512, 512));
    EXPECT_EQ(sheet.copy(5 * 32, 2 * 32, 32, 32), Before[37]);
    EXPECT_FALSE(P().IsPartsModified());

    // Another picture on the clipboard: only the parts it covers change.
    const QImage picture = patternPicture(40, 40, 7);
    Clipboard().setImage(picture);
    P().N6->trigger();
    EXPECT_EQ(P().PartBitmap(0), picture.copy(0, 0, 32, 32));
    EXPECT_EQ(P().PartBitmap(17), expectedCapture(picture, 32, 32, 32, 32));
    EXPECT_EQ(P().PartBitmap(2), Before[2]);
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_EQ(Script.Log, QStringList({"beep: default"}));
    EXPECT_TRUE(P().Store().FileName().isEmpty());

    // Text is no picture: nothing at all.
    P().ClearPartsModified();
    Script.Log.clear();
    Clipboard().setText(QStringLiteral("パーツ"));
    P().N6Click();
    EXPECT_FALSE(P().IsPartsModified());
    EXPECT_TRUE(Script.Log.isEmpty());

    P().SetPartsSize(16, 8);
    P().P1Click();
    EXPECT_EQ(Clipboard().image().size(), QSize(256, 128));
}

TEST_F(PartsClipboardTest, WatchingTakesEveryNewPicture)
{
    // Off: a change is noticed but not acted on.
    P().P1->trigger();
    Clipboard().setImage(patternPicture(64, 64, 3));
    EXPECT_EQ(snapshotParts(P().Store()), Before);
    EXPECT_FALSE(P().IsPartsModified());
    EXPECT_TRUE(Script.Log.isEmpty());

    P().N5Click();
    ASSERT_TRUE(P().N5->isChecked());
    // The program's own sheet comes straight back: same parts, but modified, with a beep.
    P().P1->trigger();
    EXPECT_EQ(snapshotParts(P().Store()), Before);
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_EQ(Script.Log, QStringList({"beep: default"}));

    const QImage picture = patternPicture(64, 64, 4);
    Clipboard().setImage(picture);
    EXPECT_EQ(P().PartBitmap(1), picture.copy(32, 0, 32, 32));
    Clipboard().setText(QStringLiteral("text"));
    EXPECT_EQ(Script.Log.size(), 2);

    P().N5->trigger(); // from the menu
    EXPECT_FALSE(P().N5->isChecked());
    Clipboard().setImage(patternPicture(64, 64, 5));
    EXPECT_EQ(P().PartBitmap(1), picture.copy(32, 0, 32, 32));
}

TEST(NkClipDetectorTest, ReportsEachChangeWhileAHandlerIsSet)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    TNkClipDetector detector;
    EXPECT_TRUE(detector.IgnoreFirst());
    QList<QObject*> senders;
    detector.SetOnClipChange([&senders](QObject* sender) { senders << sender; });
    EXPECT_TRUE(senders.isEmpty()); // the contents at registration are no change

    QGuiApplication::clipboard()->setText(QStringLiteral("one"));
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    QCoreApplication::processEvents();
    EXPECT_EQ(senders, QList<QObject*>({&detector, &detector}));

    // A second handler replaces the first without registering twice.
    int second = 0;
    detector.SetOnClipChange([&second](QObject*) { ++second; });
    QGuiApplication::clipboard()->setText(QStringLiteral("two"));
    EXPECT_EQ(second, 1);
    EXPECT_EQ(senders.size(), 2);

    detector.SetOnClipChange(nullptr);
    EXPECT_FALSE(detector.IsListening());
    QGuiApplication::clipboard()->setText(QStringLiteral("three"));
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(second, 1);

    detector.SetOnClipChange([&second](QObject*) { ++second; });
    EXPECT_EQ(second, 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("four"));
    EXPECT_EQ(second, 2);
}
