#include "MapPicture.h"
#include "MapPictureDlg.h"
#include "NoRoom.h"
#include "PartsStore.h"
#include "ProgramFixture.h"
#include "main.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressDialog>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

namespace {

class MapPictureWindowTest : public ProgramTest
{
protected:
    TMainForm* Main() { return Forms().MainForm; }

    // A map of w x h cells, cell (x, y) part (x + 3 * y) % 256, every part one colour.
    void MakeMap(int w, int h)
    {
        Main()->NewMap(w, h);
        for (int n = 0; n < 256; ++n)
            PartsStore().PartBitmap(n).fill(qRgb(n, 255 - n, 40));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                Main()->Document().SetCell(x, y, uint8_t((x + 3 * y) % 256));
        Main()->Document().SetMapModified(false);
        FCells = std::vector<uint8_t>(Main()->Document().MapCells().begin(),
                                      Main()->Document().MapCells().end());
    }

    // The file dialog answers `name` in the test folder; the options dialog takes `set`.
    void Answer(const QString& name, const std::function<void(TMapPictureDlg*)>& set)
    {
        Script.FileDialog = [this, name](const TFileDialogRequest& r) {
            FRequest = r;
            return std::optional<QString>(Dir.filePath(name));
        };
        Script.Modal = [set](QDialog* d) {
            auto* dialog = qobject_cast<TMapPictureDlg*>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            set(dialog);
            return int(QDialog::Accepted);
        };
    }

    void ExpectMapUnchanged()
    {
        const auto cells = Main()->Document().MapCells();
        EXPECT_TRUE(std::equal(cells.begin(), cells.end(), FCells.begin(), FCells.end()));
        EXPECT_FALSE(Main()->Document().MapModified());
    }

    QStringList Files() const
    {
        QStringList names = QDir(Dir.path()).entryList({"*.bmp", "*.png"}, QDir::Files);
        names.sort();
        return names;
    }

    std::vector<uint8_t> FCells;
    TFileDialogRequest FRequest;
};

TEST_F(MapPictureWindowTest, P1WritesThePictureAtTheChosenCellSizeAndRemembersTheChoice)
{
    ASSERT_TRUE(Main()->P1->isEnabled());
    MakeMap(7, 5);
    QString sizeText;
    Answer("map.png", [&](TMapPictureDlg* d) {
        EXPECT_FALSE(d->Spin_CellSize->isEnabled());
        d->Radio_CustomSize->setChecked(true);
        EXPECT_TRUE(d->Spin_CellSize->isEnabled());
        EXPECT_TRUE(d->Spin_PngLevel->isEnabled()); // a PNG name
        d->Spin_CellSize->setValue(3);
        d->Spin_PngLevel->setValue(6);
        sizeText = d->Label_PictureSize->text();
    });
    Main()->P1->trigger();
    EXPECT_EQ(FRequest.Title, "マップ全景を画像ファイルに保存");
    EXPECT_EQ(FRequest.DefaultSuffix, "bmp");
    EXPECT_TRUE(FRequest.ConfirmOverwrite);
    EXPECT_TRUE(FRequest.NameFilters.join('|').contains("PNG"))
        << FRequest.NameFilters.join('|').toStdString();
    EXPECT_EQ(sizeText, "画像の大きさ: 21 x 15 ピクセル");
    EXPECT_EQ(Script.Log, (QStringList{"file dialog[save]: マップ全景を画像ファイルに保存",
                                       "modal: MapPictureDlg"}));
    const QImage picture(Dir.filePath("map.png"));
    ASSERT_EQ(picture.size(), QSize(21, 15));
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 21; ++x) {
            const int n = (x / 3 + 3 * (y / 3)) % 256;
            ASSERT_EQ(picture.pixel(x, y), qRgb(n, 255 - n, 40)) << x << "," << y;
        }
    ExpectMapUnchanged();
    const TMapPictureChoice remembered = Settings().MapPictureChoice();
    EXPECT_EQ(remembered.CellKind, TMapPictureChoice::ckCustom);
    EXPECT_EQ(remembered.CellSize, 3);
    EXPECT_EQ(remembered.PngLevel, 6);

    // The next time the dialog starts from those choices; the part size, tiled, as BMP.
    Script.Log.clear();
    Answer("tiles.bmp", [&](TMapPictureDlg* d) {
        EXPECT_TRUE(d->Radio_CustomSize->isChecked());
        EXPECT_EQ(d->Spin_CellSize->value(), 3);
        EXPECT_FALSE(d->Spin_PngLevel->isEnabled());
        d->Radio_PartSize->setChecked(true);
        d->Check_Split->setChecked(true);
        d->Spin_TileWidth->setValue(100);
        d->Spin_TileHeight->setValue(160);
        sizeText = d->Label_PictureSize->text();
    });
    Main()->P1->trigger();
    EXPECT_EQ(sizeText, "画像の大きさ: 224 x 160 ピクセル (3 x 1 枚)");
    EXPECT_EQ(Files(), (QStringList{"map.png", "tiles_0_0.bmp", "tiles_1_0.bmp", "tiles_2_0.bmp"}));
    EXPECT_EQ(QImage(Dir.filePath("tiles_2_0.bmp")).size(), QSize(24, 160));
    EXPECT_EQ(QImage(Dir.filePath("tiles_2_0.bmp")).pixel(23, 159),
              qRgb((6 + 12) % 256, 255 - (6 + 12) % 256, 40));
}

// What cannot be written is refused before anything is, with the picture's size; the
// options dialog cancelled or a name of another format writes nothing either.
TEST_F(MapPictureWindowTest, RefusedOrAbandonedWritesNothing)
{
    MakeMap(100, 100);
    Answer("huge.bmp", [](TMapPictureDlg* d) {
        d->Radio_CustomSize->setChecked(true);
        d->Spin_CellSize->setValue(1000); // 100000 x 100000 pixels: 30 GB
    });
    Main()->P1->trigger();
    ASSERT_EQ(Script.Log.size(), 3);
    EXPECT_TRUE(Script.Log[2].startsWith("error: 100000 x 100000 ピクセル"))
        << Script.Log[2].toStdString();
    EXPECT_TRUE(Script.Log[2].contains("4 GB"));

    Script.Log.clear();
    Script.FileDialog = [this](const TFileDialogRequest&) {
        return std::optional<QString>(Dir.filePath("map.jpg"));
    };
    Main()->P1->trigger();
    ASSERT_EQ(Script.Log.size(), 2);
    EXPECT_TRUE(Script.Log[1].startsWith("error: ")) << Script.Log[1].toStdString();

    Script.Log.clear();
    Answer("map.bmp", [](TMapPictureDlg*) {});
    Script.Modal = [](QDialog*) { return int(QDialog::Rejected); };
    Main()->P1->trigger();
    EXPECT_EQ(Script.Log.size(), 2);
    EXPECT_EQ(Files(), QStringList());
    ExpectMapUnchanged();
}

// A picture of billions of pixels starts only once the user, shown its size, says yes; a
// "no" writes nothing and shows no progress. Over 2^36 pixels the question is the same.
TEST_F(MapPictureWindowTest, BillionsOfPixelsAreAskedFirst)
{
    struct Row
    {
        const char* Name;
        int Cell;
        bool Split;
        const char* Question;
    };
    const Row rows[] = {
        {"big.png", 40, false, "80000 x 80000 ピクセル (約 64 億ピクセル) の画像になります。"},
        {"tiles.png", 40, true, "80000 x 80000 ピクセル (約 64 億ピクセル) の画像になります。"},
        {"big.png", 200, false, "400000 x 400000 ピクセル (約 1600 億ピクセル)"},
    };
    Main()->NewMap(2000, 2000);
    bool progressShown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(w);
            if (progress && progress->isVisible()) {
                progressShown = true;
                progress->cancel();
            }
        }
    });
    poll.start(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Question);
        Script.Log.clear();
        Answer(row.Name, [&row](TMapPictureDlg* d) {
            d->Radio_CustomSize->setChecked(true);
            d->Spin_CellSize->setValue(row.Cell);
            d->Check_Split->setChecked(row.Split);
            d->Spin_TileWidth->setValue(50000);
            d->Spin_TileHeight->setValue(50000);
        });
        Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::No; };
        Main()->P1->trigger();
        ASSERT_EQ(Script.Log.size(), 3);
        EXPECT_TRUE(Script.Log[2].startsWith(QStringLiteral("confirm[YesNo]: ") + row.Question))
            << Script.Log[2].toStdString();
        EXPECT_FALSE(progressShown);
        EXPECT_EQ(Files(), QStringList());
    }
}

// Cancel in the progress dialog stops the writer: no file is left, an old one stays whole,
// the map is as it was, and the user is told.
TEST_F(MapPictureWindowTest, CancelLeavesNoFileAndTheMapAsItWas)
{
    MakeMap(400, 400);
    {
        QFile old(Dir.filePath("map.png"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("precious");
    }
    Answer("map.png", [](TMapPictureDlg* d) {
        d->Radio_PartSize->setChecked(true); // 12800 x 12800 pixels
        d->Spin_PngLevel->setValue(0);
    });
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(w);
            if (progress && progress->isVisible() && !seen) {
                seen = true;
                EXPECT_TRUE(progress->windowModality() == Qt::ApplicationModal);
                // Wide enough for its title to show whole in the frame.
                EXPECT_GT(progress->minimumWidth(),
                          progress->fontMetrics().horizontalAdvance(progress->windowTitle()) + 60);
                progress->cancel();
            }
        }
    });
    poll.start(1);
    Main()->P1->trigger();
    poll.stop();
    EXPECT_TRUE(seen);
    ASSERT_EQ(Script.Log.size(), 3);
    EXPECT_TRUE(Script.Log[2].startsWith("warning: ")) << Script.Log[2].toStdString();
    EXPECT_EQ(Files(), QStringList{"map.png"});
    QFile old(Dir.filePath("map.png"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("precious"));
    ExpectMapUnchanged();
}

class MapPictureNoRoomTest : public MapPictureWindowTest,
                             public ::testing::WithParamInterface<TNoRoomKind>
{
};

// Out of room while writing, the user is told, no file is left, an old one stays whole and
// the map is as it was.
TEST_P(MapPictureNoRoomTest, AFailedWriteLeavesNoFileAndTheMapAsItWas)
{
    TNoRoom noRoom(GetParam());
    if (!noRoom.Ready())
        GTEST_SKIP() << noRoom.WhyNotReady();
    MakeMap(300, 300);
    const QString name = noRoom.Path("map.png");
    {
        QFile old(name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("precious");
    }
    const QStringList before = noRoom.Files();
    Script.FileDialog = [&](const TFileDialogRequest&) { return std::optional<QString>(name); };
    Script.Modal = [](QDialog* d) {
        auto* dialog = qobject_cast<TMapPictureDlg*>(d);
        if (!dialog)
            return int(QDialog::Rejected);
        dialog->Radio_PartSize->setChecked(true); // 9600 x 9600 pixels, 276 MB of rows
        dialog->Spin_PngLevel->setValue(0);
        return int(QDialog::Accepted);
    };
    noRoom.Arm();
    Main()->P1->trigger();
    noRoom.Disarm();
    ASSERT_EQ(Script.Log.size(), 3);
    EXPECT_TRUE(Script.Log[2].startsWith("error: 9600 x 9600 ピクセル"))
        << Script.Log[2].toStdString();
    EXPECT_EQ(noRoom.Files(), before);
    QFile old(name);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("precious"));
    ExpectMapUnchanged();
}

INSTANTIATE_TEST_SUITE_P(Kinds, MapPictureNoRoomTest, QM_NO_ROOM_KINDS);

} // namespace
