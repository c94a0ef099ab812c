#include "MapDocument.h"
#include "MapSession.h"
#include "Parts.h"
#include "PartsStore.h"
#include "ProgramFixture.h"
#include "main.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTimer>

namespace {

class TmxMenuTest : public ProgramTest
{
protected:
    TMainForm* Main() { return Forms().MainForm; }

    // Answers the file dialog with `name`, the save questions with `answer`, and the
    // empty-part dialog with `emptyPart` (nullopt: Cancel).
    void Answer(const QString& name, TAnswer answer, std::optional<int> emptyPart)
    {
        Script.FileDialog = [name](const TFileDialogRequest&) {
            return std::optional<QString>(name);
        };
        Script.Confirm = [answer](const QString&, TConfirmButtons) { return answer; };
        Script.Modal = [emptyPart](QDialog* dialog) {
            if (!emptyPart)
                return int(QDialog::Rejected);
            dialog->findChild<QSpinBox*>(QStringLiteral("Spin_EmptyPart"))->setValue(*emptyPart);
            return int(QDialog::Accepted);
        };
    }

    QImage Solid(const QColor& colour)
    {
        QImage image(PartsStore().PartWidth(), PartsStore().PartHeight(), QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }
};

TEST_F(TmxMenuTest, TheTwoItemsFollowTheFullMapPictureInTheFileMenu)
{
    const QList<QAction*> items =
        Main()->P1->associatedObjects().isEmpty()
            ? QList<QAction*>()
            : qobject_cast<QMenu*>(Main()->P1->associatedObjects()[0])->actions();
    const qsizetype p1 = items.indexOf(Main()->P1);
    ASSERT_GE(p1, 0);
    ASSERT_GT(items.size(), p1 + 2);
    EXPECT_EQ(items[p1 + 1], Main()->TmxExport1);
    EXPECT_EQ(items[p1 + 2], Main()->TmxImport1);
    EXPECT_EQ(Main()->TmxExport1->text(), QStringLiteral("TMX形式で書き出す(&T)..."));
    EXPECT_EQ(Main()->TmxImport1->text(), QStringLiteral("TMX形式を読み込む(&I)..."));
    EXPECT_TRUE(Main()->TmxExport1->isEnabled());
    EXPECT_TRUE(Main()->TmxImport1->isEnabled());
}

TEST_F(TmxMenuTest, ExportedMapComesBackWithItsPartsAfterTheSaveQuestions)
{
    const QString tmx = Dir.filePath(QStringLiteral("外.tmx"));
    Main()->NewMap(7, 5);
    TMapDocument& doc = Main()->Document();
    for (int x = 0; x < 7; ++x)
        for (int y = 0; y < 5; ++y)
            doc.SetCell(x, y, uint8_t(x * 5 + y + 1));
    PartsStore().CapturePart(3, Solid(QColor(10, 200, 30)), 0, 0);
    std::vector<uint8_t> cells(doc.MapCells().begin(), doc.MapCells().end());

    Answer(tmx, TAnswer::No, 0);
    Main()->TmxExport1->trigger();
    ASSERT_TRUE(QFile::exists(tmx));
    ASSERT_TRUE(QFile::exists(Dir.filePath(QStringLiteral("外.png"))));

    // A different, modified map and parts: the import asks about both, then replaces them.
    Main()->NewMap(2, 2);
    doc.SetMapModified(true);
    PartsStore().CapturePart(3, Solid(Qt::black), 0, 0);
    PartsStore().SetPartsModified();
    Script.Log.clear();
    Main()->TmxImport1->trigger();
    EXPECT_TRUE(Script.Log.contains(
        QStringLiteral("confirm[YesNoCancel]: マップデータを上書き保存しますか？")))
        << Script.Log.join('\n').toStdString();
    EXPECT_TRUE(Script.Log.contains(
        QStringLiteral("confirm[YesNoCancel]: パーツデータを上書き保存しますか？")));
    ASSERT_EQ(doc.MapWidth(), 7);
    ASSERT_EQ(doc.MapHeight(), 5);
    EXPECT_TRUE(std::equal(cells.begin(), cells.end(), doc.MapCells().begin()));
    EXPECT_EQ(PartsStore().PartBitmap(3), Solid(QColor(10, 200, 30)));
    EXPECT_EQ(Main()->windowTitle(), QStringLiteral("Quiltmapper - [無題]"));
    EXPECT_TRUE(doc.MapModified());
    EXPECT_TRUE(PartsStore().IsPartsModified());
    EXPECT_EQ(Main()->MapGrid->ColCount(), 7);
}

TEST_F(TmxMenuTest, ThePartsOfAnImportedMapAreProposedBesideItAndNeverUnderAMapsName)
{
    const QString tmx = Dir.filePath(QStringLiteral("roundtrip.tmx"));
    Answer(tmx, TAnswer::No, 0);
    Main()->TmxExport1->trigger();
    Main()->TmxImport1->trigger();
    ASSERT_TRUE(PartsStore().IsPartsModified());

    // The user first takes the map's own name, then a map extension, then the proposal.
    QStringList proposed;
    QStringList answers = {Dir.filePath(QStringLiteral("roundtrip.mpd")),
                           Dir.filePath(QStringLiteral("other.tmx"))};
    Script.FileDialog = [&](const TFileDialogRequest& request) {
        proposed << QFileInfo(request.FileName).fileName();
        return std::optional<QString>(answers.isEmpty() ? request.FileName : answers.takeFirst());
    };
    Forms().PartsForm->N2->trigger();
    EXPECT_EQ(proposed,
              (QStringList{"roundtrip-parts.png", "roundtrip-parts.png", "other-parts.png"}));
    EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("roundtrip.mpd"))));
    EXPECT_TRUE(QFile::exists(Dir.filePath(QStringLiteral("other-parts.png"))));
    EXPECT_FALSE(PartsStore().IsPartsModified());
}

TEST_F(TmxMenuTest, TheEmptyPartDialogShowsItsMnemonicAndItsWholeTitle)
{
    Answer(Dir.filePath(QStringLiteral("a.tmx")), TAnswer::No, std::nullopt);
    bool buddy = false;
    int width = 0, title = 0;
    Script.Modal = [&](QDialog* dialog) {
        const QLabel* label = dialog->findChild<QLabel*>();
        buddy = label && label->buddy() == dialog->findChild<QSpinBox*>();
        width = dialog->minimumWidth();
        title = dialog->fontMetrics().horizontalAdvance(dialog->windowTitle());
        return int(QDialog::Rejected);
    };
    Main()->TmxImport1->trigger();
    EXPECT_TRUE(buddy);
    EXPECT_GT(width, title + 60);
}

TEST_F(TmxMenuTest, CancelAndBadInputChangeNothing)
{
    const QString bad = Dir.filePath(QStringLiteral("bad.tmx"));
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<map orientation=\"orthogonal\" width=\"2\" height=\"2\" tilewidth=\"32\" "
            "tileheight=\"32\"><layer width=\"2\" height=\"2\"><data encoding=\"base64\">"
            "@@@@</data></layer></map>");
    f.close();
    Main()->NewMap(3, 3);
    Main()->Document().SetCell(1, 1, 9);
    const QImage part0 = PartsStore().PartBitmap(0);

    struct Row
    {
        const char* Name;
        TAnswer SaveAnswer;
        std::optional<int> EmptyPart;
        const char* Error; // nullptr: nothing shown
    };
    const Row rows[] = {
        {"cancelled save question", TAnswer::Cancel, 0, nullptr},
        {"cancelled empty-part dialog", TAnswer::No, std::nullopt, nullptr},
        {"bad base64", TAnswer::No, 0, "error: TMX形式を読み込めません"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Main()->Document().SetMapModified(true);
        Answer(bad, row.SaveAnswer, row.EmptyPart);
        Script.Log.clear();
        Main()->TmxImport1->trigger();
        EXPECT_EQ(Main()->MapWidth(), 3);
        EXPECT_EQ(Main()->Document().Cell(1, 1), 9);
        EXPECT_EQ(PartsStore().PartBitmap(0), part0);
        bool shown = false;
        for (const QString& line : Script.Log)
            shown = shown || (row.Error && line.startsWith(QString::fromUtf8(row.Error)));
        EXPECT_EQ(shown, row.Error != nullptr) << Script.Log.join('\n').toStdString();
    }
}

// Cancel in the progress window: an import leaves the map and the parts as they were, an
// export leaves no file, and the user is told.
TEST_F(TmxMenuTest, CancelInTheProgressWindowLeavesNothing)
{
    const QString big = Dir.filePath(QStringLiteral("big.tmx"));
    // Large enough that both take a while and are cancelled on the way.
    Main()->NewMap(2000, 2000);
    ASSERT_TRUE(Program->Models().Session.ExportTmx(big, TTmxEncoding::Csv));
    Main()->Document().SetCell(1, 1, 9);
    const QImage part0 = PartsStore().PartBitmap(0);

    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(w);
            if (progress && progress->isVisible() && !progress->wasCanceled()) {
                seen = true;
                progress->cancel();
            }
        }
    });
    const std::pair<const char*, QAction*> items[] = {{"import", Main()->TmxImport1},
                                                      {"export", Main()->TmxExport1}};
    for (const auto& [what, item] : items) {
        SCOPED_TRACE(what);
        const QString name = item == Main()->TmxImport1 ? big : Dir.filePath("out.tmx");
        Answer(name, TAnswer::No, 0);
        Script.Log.clear();
        seen = false;
        poll.start(1);
        item->trigger();
        poll.stop();
        EXPECT_TRUE(seen);
        ASSERT_FALSE(Script.Log.isEmpty());
        EXPECT_TRUE(Script.Log.last().startsWith("warning: ")) << Script.Log.last().toStdString();
        EXPECT_EQ(Main()->Document().Cell(1, 1), 9);
        EXPECT_EQ(PartsStore().PartBitmap(0), part0);
        EXPECT_FALSE(QFile::exists(Dir.filePath("out.tmx")));
        EXPECT_FALSE(QFile::exists(Dir.filePath("out.png")));
    }
}

// The export never replaces the map file or the parts picture in use, with the TMX or with
// its sheet: refused with the reason, both files as they were.
TEST_F(TmxMenuTest, ExportNeverReplacesTheOpenMapOrPartsPicture)
{
    const QString map = Dir.filePath(QStringLiteral("level.mpd"));
    const QString picture = Dir.filePath(QStringLiteral("parts.png"));
    Script.FileDialog = [&](const TFileDialogRequest&) { return std::optional(map); };
    Main()->Document().SetMapModified(true);
    ASSERT_TRUE(Main()->SaveMapOverwrite());
    Script.FileDialog = [&](const TFileDialogRequest&) { return std::optional(picture); };
    Forms().PartsForm->SetPartsModified();
    ASSERT_TRUE(Forms().PartsForm->SavePartsPicture());
    QFile mapFile(map), pictureFile(picture);
    ASSERT_TRUE(mapFile.open(QIODevice::ReadOnly) && pictureFile.open(QIODevice::ReadOnly));
    const QByteArray mapBytes = mapFile.readAll(), pictureBytes = pictureFile.readAll();
    mapFile.close();
    pictureFile.close();

    for (const char* name : {"parts.tmx", "level.mpd"}) {
        SCOPED_TRACE(name);
        Answer(Dir.filePath(QString::fromLatin1(name)), TAnswer::No, 0);
        Script.Log.clear();
        Main()->TmxExport1->trigger();
        ASSERT_FALSE(Script.Log.isEmpty());
        EXPECT_TRUE(Script.Log.last().startsWith(QStringLiteral("error: TMX形式で書き出せません")))
            << Script.Log.last().toStdString();
        EXPECT_TRUE(Script.Log.last().contains(QStringLiteral("this operation also reads")));
        ASSERT_TRUE(mapFile.open(QIODevice::ReadOnly) && pictureFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(mapFile.readAll(), mapBytes);
        EXPECT_EQ(pictureFile.readAll(), pictureBytes);
        mapFile.close();
        pictureFile.close();
    }
    // Nor does a parts picture save replace the map file.
    PartsStore().SetFileName(map);
    EXPECT_THROW(Forms().PartsForm->SavePartsPicture(), std::runtime_error);
    ASSERT_TRUE(mapFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(mapFile.readAll(), mapBytes);
}

} // namespace
