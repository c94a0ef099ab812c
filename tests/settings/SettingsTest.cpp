#include "Settings.h"

#include "IniGT.h"

#include <QDir>
#include <QFile>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr qint64 MB = TSettings::MegaByte;

// Every value of the model, to compare two models whole.
QVariantList valuesOf(const TSettings& s)
{
    return {s.ShowTitle(),      s.WideSize(),        s.NormalSize(),     s.ZoomSize(),
            s.PartsOnTop(),     s.ToolsOnTop(),      s.NonDim(),         s.ExtName(),
            s.SaveFormatType(), s.LoadFormatType(),  s.UndoBudget(),     int(s.ZoomLevel()),
            int(s.MapTool()),   s.RandomPlacement(), int(s.PixelTool()), s.PenWidth(),
            s.DrawingColor()};
}

// Watches every signal of a model and tells which were emitted, how often and with what.
class TSignalLog
{
public:
    explicit TSignalLog(TSettings& settings)
    {
        const QMetaObject* meta = settings.metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal)
                FSpies[QString::fromLatin1(method.name())] =
                    std::make_unique<QSignalSpy>(&settings, method);
        }
    }

    // The signals emitted since the last call, each with its arguments per emission.
    std::map<QString, QList<QVariant>> Take()
    {
        std::map<QString, QList<QVariant>> emitted;
        for (auto& [name, spy] : FSpies) {
            for (const QList<QVariant>& args : *spy)
                emitted[name] << args.value(0);
            spy->clear();
        }
        return emitted;
    }

    size_t SignalCount() const { return FSpies.size(); }

private:
    std::map<QString, std::unique_ptr<QSignalSpy>> FSpies;
};

using TEmitted = std::map<QString, QList<QVariant>>;

class SettingsFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        // As the program's own store: the name as given, strings not enclosed.
        Ini.SetDefaultDir(ddNone);
        Ini.SetFence(fnNone);
        Ini.SetFileName(Path());
    }

    QString Path() const { return Dir.filePath(QStringLiteral("Quiltmapper.ini")); }

    void Put(const QByteArray& bytes)
    {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray Bytes() const
    {
        QFile file(Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
    }

    QTemporaryDir Dir;
    TIniGT Ini;
};

// What the settings dialog wrote at program end, started on each file: recorded from the
// dialog that kept its settings in its own controls, and held here so that the model keeps
// writing the same bytes. Only the "options" keys are the dialog's; the rest of each file
// stays as it was.
TEST_F(SettingsFileTest, RoundTripWritesWhatTheSettingsDialogWrote)
{
    struct TRow
    {
        const char* Name;
        bool FileExists;
        QByteArray Input;
        QByteArray Expected;
    };
    const QByteArray written = "[options]\nisShowTitle=1\nLupe.Wide=8\nLupe.Normal=32\n"
                               "Lupe.Zoom=256\nisPartsOnTop=0\nisToolsOnTop=1\nisNonDim=1\n"
                               "DefaultExtName=mpd\nSaveFormatType=2\nLoadFormatType=2\n";
    const QByteArray tail = "isShowTitle=1\nLupe.Wide=8\nLupe.Normal=32\nLupe.Zoom=256\n"
                            "isPartsOnTop=0\nisToolsOnTop=1\nisNonDim=1\n"
                            "SaveFormatType=2\nLoadFormatType=2\n";
    const std::vector<TRow> rows = {
        {"no file", false, "", written},
        {"empty file", true, "", written},
        {"defaults as written", true, written, written},
        {"every key set", true,
         "[options]\nisShowTitle=0\nLupe.Wide=4\nLupe.Normal=16\nLupe.Zoom=128\n"
         "isPartsOnTop=1\nisToolsOnTop=0\nisNonDim=0\nDefaultExtName=map\n"
         "SaveFormatType=1\nLoadFormatType=1\n",
         "[options]\nisShowTitle=0\nLupe.Wide=4\nLupe.Normal=16\nLupe.Zoom=128\n"
         "isPartsOnTop=1\nisToolsOnTop=0\nisNonDim=0\nDefaultExtName=map\n"
         "SaveFormatType=1\nLoadFormatType=1\n"},
        {"sizes out of range", true, "[options]\nLupe.Wide=0\nLupe.Normal=-7\nLupe.Zoom=200000\n",
         "[options]\nLupe.Wide=1\nLupe.Normal=1\nLupe.Zoom=99999\nisShowTitle=1\n"
         "isPartsOnTop=0\nisToolsOnTop=1\nisNonDim=1\nDefaultExtName=mpd\n"
         "SaveFormatType=2\nLoadFormatType=2\n"},
        {"format types 5 and 0", true, "[options]\nSaveFormatType=5\nLoadFormatType=0\n",
         "[options]\nSaveFormatType=2\nLoadFormatType=2\nisShowTitle=1\nLupe.Wide=8\n"
         "Lupe.Normal=32\nLupe.Zoom=256\nisPartsOnTop=0\nisToolsOnTop=1\nisNonDim=1\n"
         "DefaultExtName=mpd\n"},
        {"format types -1 and 1", true, "[options]\nLoadFormatType=-1\nSaveFormatType=1\n",
         "[options]\nLoadFormatType=2\nSaveFormatType=1\nisShowTitle=1\nLupe.Wide=8\n"
         "Lupe.Normal=32\nLupe.Zoom=256\nisPartsOnTop=0\nisToolsOnTop=1\nisNonDim=1\n"
         "DefaultExtName=mpd\n"},
        {"empty extension", true, "[options]\nDefaultExtName=\n",
         "[options]\nDefaultExtName=\n" + tail},
        {"hexadecimal values", true,
         "[options]\nLupe.Wide=0x10\nLupe.Normal=$20\nLupe.Zoom=0X1FF\nisPartsOnTop=0x1\n"
         "SaveFormatType=$1\nisShowTitle=0x0\n",
         "[options]\nLupe.Wide=16\nLupe.Normal=32\nLupe.Zoom=511\nisPartsOnTop=1\n"
         "SaveFormatType=1\nisShowTitle=0\nisToolsOnTop=1\nisNonDim=1\nDefaultExtName=mpd\n"
         "LoadFormatType=2\n"},
        {"malformed values", true,
         "[options]\nLupe.Wide=abc\nLupe.Normal=\nisShowTitle=yes\nisToolsOnTop=2\n"
         "isNonDim=-1\nLoadFormatType=1.5\nLupe.Zoom=$FFFFFFFF\nisPartsOnTop=+1\n",
         "[options]\nLupe.Wide=8\nLupe.Normal=32\nisShowTitle=1\nisToolsOnTop=1\nisNonDim=1\n"
         "LoadFormatType=2\nLupe.Zoom=1\nisPartsOnTop=1\nDefaultExtName=mpd\n"
         "SaveFormatType=2\n"},
        {"names in other case, blanks, CRLF", true,
         "[Options]\r\n  lupe.zoom = 64 \r\nISSHOWTITLE=0\r\n",
         "[Options]\r\nLupe.Zoom=64\r\nisShowTitle=0\r\nLupe.Wide=8\r\nLupe.Normal=32\r\n"
         "isPartsOnTop=0\r\nisToolsOnTop=1\r\nisNonDim=1\r\nDefaultExtName=mpd\r\n"
         "SaveFormatType=2\r\nLoadFormatType=2\r\n"},
        {"extension with period, blanks and Japanese", true,
         "[options]\nDefaultExtName=  .\xe3\x83\x9e\xe3\x83\x83\xe3\x83\x97 x  \n",
         "[options]\nDefaultExtName=.\xe3\x83\x9e\xe3\x83\x83\xe3\x83\x97 x\n" + tail},
        {"quoted extension", true, "[options]\nDefaultExtName=\"map\"\n",
         "[options]\nDefaultExtName=\"map\"\n" + tail},
        {"extension with tab and a byte that is not UTF-8", true,
         "[options]\nDefaultExtName=a\tb\xff"
         "c\n",
         "[options]\nDefaultExtName=a\tb\xef\xbf\xbd"
         "c\n" +
             tail},
        {"long extension cut", true, "[options]\nDefaultExtName=" + QByteArray(3000, 'e') + "\n",
         "[options]\nDefaultExtName=" + QByteArray(2047, 'e') + "\n" + tail},
        {"other sections, unknown keys and the undo budget kept", true,
         "; settings\n[Other]\nfoo=bar\n[options]\nUndoMemoryMB=512\nLupe.Wide=9\n\n"
         "[Later]\nx=1",
         "; settings\n[Other]\nfoo=bar\n[options]\nUndoMemoryMB=512\nLupe.Wide=9\n"
         "isShowTitle=1\nLupe.Normal=32\nLupe.Zoom=256\nisPartsOnTop=0\nisToolsOnTop=1\n"
         "isNonDim=1\nDefaultExtName=mpd\nSaveFormatType=2\nLoadFormatType=2\n\n[Later]\nx=1"},
        {"no final line break", true, "[options]\nisNonDim=0",
         "[options]\nisNonDim=0\nisShowTitle=1\nLupe.Wide=8\nLupe.Normal=32\nLupe.Zoom=256\n"
         "isPartsOnTop=0\nisToolsOnTop=1\nDefaultExtName=mpd\nSaveFormatType=2\n"
         "LoadFormatType=2\n"},
    };

    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        QFile::remove(Path());
        if (row.FileExists)
            Put(row.Input);
        TSettings settings;
        settings.ReadFrom(Ini);
        settings.WriteTo(Ini);
        EXPECT_EQ(Bytes(), row.Expected);

        // What was written reads back to the same values.
        TSettings again;
        again.ReadFrom(Ini);
        EXPECT_EQ(valuesOf(again), valuesOf(settings));
    }
}

TEST_F(SettingsFileTest, EachKeyGoesToItsOwnValue)
{
    Put("[options]\nisShowTitle=0\nLupe.Wide=3\nLupe.Normal=5\nLupe.Zoom=7\n"
        "isPartsOnTop=1\nisToolsOnTop=0\nisNonDim=0\nDefaultExtName=qm\n"
        "SaveFormatType=1\nLoadFormatType=2\nUndoMemoryMB=100\n");
    TSettings settings;
    settings.ReadFrom(Ini);
    EXPECT_FALSE(settings.ShowTitle());
    EXPECT_EQ(settings.WideSize(), 3);
    EXPECT_EQ(settings.NormalSize(), 5);
    EXPECT_EQ(settings.ZoomSize(), 7);
    EXPECT_TRUE(settings.PartsOnTop());
    EXPECT_FALSE(settings.ToolsOnTop());
    EXPECT_FALSE(settings.NonDim());
    EXPECT_EQ(settings.ExtName(), QStringLiteral("qm"));
    EXPECT_EQ(settings.SaveFormatType(), 1);
    EXPECT_EQ(settings.LoadFormatType(), 2);
    EXPECT_EQ(settings.UndoBudget(), 100 * MB);
    EXPECT_EQ(settings.CellSize(), 5);
}

TEST_F(SettingsFileTest, UndoBudgetIsReadInMegabytesAndNeverWritten)
{
    const struct
    {
        const char* Stored; // nullptr: no key
        qint64 Expected;
    } rows[] = {
        {nullptr, 256 * MB},
        {"512", 512 * MB},
        {"1", 1 * MB},
        {"0x40", 64 * MB},
        {"0", 256 * MB},
        {"-3", 256 * MB},
        {"abc", 256 * MB},
        {"", 256 * MB},
        {"16384", 16384 * MB},
        {"16385", TSettings::MaxUndoBudget},
        {"2147483647", TSettings::MaxUndoBudget},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Stored ? row.Stored : "no key");
        const QByteArray input =
            row.Stored ? "[options]\nUndoMemoryMB=" + QByteArray(row.Stored) + "\nLupe.Wide=8\n"
                       : QByteArray("[options]\nLupe.Wide=8\n");
        Put(input);
        TSettings settings;
        settings.SetUndoBudget(3 * MB); // reading does not keep the value it had
        settings.ReadFrom(Ini);
        EXPECT_EQ(settings.UndoBudget(), row.Expected);
        settings.SetUndoBudget(row.Expected == 1 * MB ? 2 * MB : 1 * MB);
        settings.WriteTo(Ini);
        EXPECT_TRUE(Bytes().startsWith(input.first(input.indexOf("Lupe.Wide"))));
        EXPECT_EQ(Bytes().count("UndoMemoryMB"), row.Stored ? 1 : 0);
    }
}

TEST_F(SettingsFileTest, ReadingAnnouncesOnlyWhatChangedAndKeepsTheViewState)
{
    TSettings settings;
    settings.SetMapTool(mtPaint);
    settings.SetZoomLevel(zlWide);
    settings.SetSaveFormatType(1);
    TSignalLog log(settings);

    Put("[options]\nLupe.Normal=40\nLupe.Wide=8\nSaveFormatType=5\nDefaultExtName=mpd\n");
    settings.ReadFrom(Ini);
    // An unknown format type leaves the one in force, as the dialog's radio pair did.
    EXPECT_EQ(log.Take(), (TEmitted{{"normalSizeChanged", {40}}}));
    EXPECT_EQ(settings.SaveFormatType(), 1);
    EXPECT_EQ(settings.MapTool(), mtPaint);
    EXPECT_EQ(settings.ZoomLevel(), zlWide);

    // Back to the defaults: a missing key counts as its default.
    Put("[options]\nLupe.Wide=8\n");
    settings.ReadFrom(Ini);
    EXPECT_EQ(log.Take(), (TEmitted{{"normalSizeChanged", {32}}, {"saveFormatTypeChanged", {2}}}));
    settings.ReadFrom(Ini);
    EXPECT_TRUE(log.Take().empty());
}

TEST_F(SettingsFileTest, WriteErrorsReachTheCaller)
{
    // The keys before the refused one are in the file, those after it are not.
    TSettings settings;
    settings.SetWideSize(12);
    settings.SetExtName(QStringLiteral("a\nb"));
    EXPECT_THROW(settings.WriteTo(Ini), EIniGTWriteError);
    EXPECT_EQ(Bytes(), "[options]\nisShowTitle=1\nLupe.Wide=12\nLupe.Normal=32\nLupe.Zoom=256\n"
                       "isPartsOnTop=0\nisToolsOnTop=1\nisNonDim=1\n");

    // A file that cannot be written at all.
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("sub.ini")));
    Ini.SetFileName(Dir.filePath(QStringLiteral("sub.ini")));
    try {
        TSettings().WriteTo(Ini);
        ADD_FAILURE() << "no error";
    } catch (const EIniGTWriteError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("sub.ini に書き込めません")))
            << e.message().toStdString();
    }
}

TEST(SettingsModel, StartState)
{
    TSettings settings;
    EXPECT_EQ(settings.MapTool(), mtScroll);
    EXPECT_EQ(settings.ZoomLevel(), zlNormal);
    EXPECT_EQ(settings.CellSize(), 32);
    EXPECT_EQ(settings.CellSizeAt(zlWide), 8);
    EXPECT_EQ(settings.CellSizeAt(zlNormal), 32);
    EXPECT_EQ(settings.CellSizeAt(zlZoom), 256);
    EXPECT_FALSE(settings.RandomPlacement());
    EXPECT_EQ(settings.PixelTool(), ptFreeLine);
    EXPECT_EQ(settings.PenWidth(), 1);
    EXPECT_EQ(settings.DrawingColor(), QColor(Qt::black));
    EXPECT_TRUE(settings.ShowTitle());
    EXPECT_FALSE(settings.PartsOnTop());
    EXPECT_TRUE(settings.ToolsOnTop());
    EXPECT_TRUE(settings.NonDim());
    EXPECT_EQ(settings.ExtName(), QStringLiteral("mpd"));
    EXPECT_EQ(settings.SaveFormatType(), 2);
    EXPECT_EQ(settings.LoadFormatType(), 2);
    EXPECT_EQ(settings.UndoBudget(), 256 * MB);
}

TEST(SettingsModel, EachSetterAnnouncesARealChangeWithItsOwnSignal)
{
    using TChange = std::function<void(TSettings&)>;
    struct TRow
    {
        const char* Name;
        TChange Prepare; // before watching; may be empty
        TChange Change;
        TEmitted Expected;
    };
    const std::vector<TRow> rows = {
        {"show title",
         {},
         [](TSettings& s) { s.SetShowTitle(false); },
         {{"showTitleChanged", {false}}}},
        {"wide size, another level shown",
         {},
         [](TSettings& s) { s.SetWideSize(9); },
         {{"wideSizeChanged", {9}}}},
        {"normal size, its level shown",
         {},
         [](TSettings& s) { s.SetNormalSize(40); },
         {{"normalSizeChanged", {40}}, {"cellSizeChanged", {40}}}},
        {"zoom size, its level shown",
         [](TSettings& s) { s.SetZoomLevel(zlZoom); },
         [](TSettings& s) { s.SetZoomSize(128); },
         {{"zoomSizeChanged", {128}}, {"cellSizeChanged", {128}}}},
        {"size clamped to the top",
         {},
         [](TSettings& s) { s.SetZoomSize(1000000); },
         {{"zoomSizeChanged", {99999}}}},
        {"size clamped to the bottom",
         {},
         [](TSettings& s) { s.SetWideSize(-4); },
         {{"wideSizeChanged", {1}}}},
        {"size clamped to the value it has",
         [](TSettings& s) { s.SetWideSize(1); },
         [](TSettings& s) { s.SetWideSize(0); },
         {}},
        {"parts on top",
         {},
         [](TSettings& s) { s.SetPartsOnTop(true); },
         {{"partsOnTopChanged", {true}}}},
        {"tools on top",
         {},
         [](TSettings& s) { s.SetToolsOnTop(false); },
         {{"toolsOnTopChanged", {false}}}},
        {"non-dim", {}, [](TSettings& s) { s.SetNonDim(false); }, {{"nonDimChanged", {false}}}},
        {"extension",
         {},
         [](TSettings& s) { s.SetExtName(QString()); },
         {{"extNameChanged", {QString()}}}},
        {"save format",
         {},
         [](TSettings& s) { s.SetSaveFormatType(1); },
         {{"saveFormatTypeChanged", {1}}}},
        {"load format",
         {},
         [](TSettings& s) { s.SetLoadFormatType(1); },
         {{"loadFormatTypeChanged", {1}}}},
        {"unknown format type", {}, [](TSettings& s) { s.SetSaveFormatType(3); }, {}},
        {"undo budget",
         {},
         [](TSettings& s) { s.SetUndoBudget(64 * MB); },
         {{"undoBudgetChanged", {64 * MB}}}},
        {"undo budget not positive",
         [](TSettings& s) { s.SetUndoBudget(64 * MB); },
         [](TSettings& s) { s.SetUndoBudget(0); },
         {{"undoBudgetChanged", {256 * MB}}}},
        {"undo budget capped",
         {},
         [](TSettings& s) { s.SetUndoBudget(qint64(1) << 50); },
         {{"undoBudgetChanged", {TSettings::MaxUndoBudget}}}},
        {"zoom level",
         {},
         [](TSettings& s) { s.SetZoomLevel(zlWide); },
         {{"zoomLevelChanged", {QVariant::fromValue(zlWide)}}, {"cellSizeChanged", {8}}}},
        {"zoom level with the same cell size",
         [](TSettings& s) { s.SetZoomSize(32); },
         [](TSettings& s) { s.SetZoomLevel(zlZoom); },
         {{"zoomLevelChanged", {QVariant::fromValue(zlZoom)}}}},
        {"map tool",
         {},
         [](TSettings& s) { s.SetMapTool(mtLupe); },
         {{"mapToolChanged", {QVariant::fromValue(mtLupe)}}}},
        {"random placement",
         {},
         [](TSettings& s) { s.SetRandomPlacement(true); },
         {{"randomPlacementChanged", {true}}}},
        {"pixel tool",
         {},
         [](TSettings& s) { s.SetPixelTool(ptBoxFill); },
         {{"pixelToolChanged", {QVariant::fromValue(ptBoxFill)}}}},
        {"pen width", {}, [](TSettings& s) { s.SetPenWidth(3); }, {{"penWidthChanged", {3}}}},
        {"pen width neither thin nor thick", {}, [](TSettings& s) { s.SetPenWidth(2); }, {}},
        {"drawing colour",
         {},
         [](TSettings& s) { s.SetDrawingColor(QColor(255, 0, 0)); },
         {{"drawingColorChanged", {QColor(255, 0, 0)}}}},
        {"the same colour told otherwise",
         {},
         [](TSettings& s) { s.SetDrawingColor(QColor::fromHsv(120, 0, 0)); },
         {}},
        {"no colour", {}, [](TSettings& s) { s.SetDrawingColor(QColor()); }, {}},
    };

    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TSettings settings;
        if (row.Prepare)
            row.Prepare(settings);
        TSignalLog log(settings);
        row.Change(settings);
        EXPECT_EQ(log.Take(), row.Expected);
        row.Change(settings);
        EXPECT_TRUE(log.Take().empty());
    }
}

TEST(SettingsModel, CopyIsApartAndAssignAnnouncesExactlyTheChangedValues)
{
    TSettings settings;
    settings.SetZoomLevel(zlZoom);
    settings.SetPenWidth(3);
    TSignalLog log(settings);

    // The dialog's copy: every value, none of the connections.
    TSettings copy(settings);
    EXPECT_EQ(valuesOf(copy), valuesOf(settings));
    copy.SetZoomSize(300);
    copy.SetPartsOnTop(true);
    copy.SetExtName(QStringLiteral("map"));
    copy.SetNormalSize(20);
    copy.SetNormalSize(32); // changed and back: not a change
    copy.SetUndoBudget(8 * MB);
    copy.SetMapTool(mtLupe);
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(settings.ZoomSize(), 256);

    // Receivers see the committed values whole, whichever signal reaches them first.
    QVariantList seenByFirstReceiver;
    QObject::connect(&settings, &TSettings::zoomSizeChanged,
                     [&] { seenByFirstReceiver = valuesOf(settings); });
    settings.Assign(copy);
    EXPECT_EQ(valuesOf(settings), valuesOf(copy));
    EXPECT_EQ(seenByFirstReceiver, valuesOf(copy));
    EXPECT_EQ(log.Take(), (TEmitted{{"zoomSizeChanged", {300}},
                                    {"partsOnTopChanged", {true}},
                                    {"extNameChanged", {QStringLiteral("map")}},
                                    {"undoBudgetChanged", {8 * MB}},
                                    {"mapToolChanged", {QVariant::fromValue(mtLupe)}},
                                    {"cellSizeChanged", {300}}}));
    settings.Assign(copy);
    EXPECT_TRUE(log.Take().empty());

    // Cancel: the copy is dropped and the model stays as it was.
    {
        TSettings cancelled(settings);
        cancelled.SetWideSize(50);
    }
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(settings.WideSize(), 8);
    EXPECT_EQ(log.SignalCount(), 26u);
}

TEST_F(SettingsFileTest, MapsRememberTheirPartsPictureMostRecentFirstAndAtMostFifty)
{
    const auto use = [](int n) {
        return TPartsPictureUse{QStringLiteral("/p/%1.png").arg(n), 16, 24, 256, 384 + n};
    };
    const auto map = [](int n) { return QStringLiteral("/maps/%1.mpd").arg(n); };
    TSettings settings;
    QSignalSpy changed(&settings, &TSettings::mapPartsPicturesChanged);
    for (int n = 0; n < 55; ++n)
        settings.RememberPartsPicture(map(n), use(n));
    EXPECT_EQ(changed.count(), 55);
    ASSERT_EQ(settings.MapPartsPictures().size(), TSettings::MaxMapPartsPictures);
    EXPECT_EQ(settings.MapPartsPictures().front().Map, map(54));
    EXPECT_TRUE(settings.PartsPictureFor(map(4)).IsEmpty()); // the oldest went
    EXPECT_EQ(settings.PartsPictureFor(map(5)), use(5));
    // Remembering again moves a map to the front; the same again is no change.
    settings.RememberPartsPicture(map(5), use(99));
    EXPECT_EQ(settings.MapPartsPictures().front().Map, map(5));
    EXPECT_EQ(settings.PartsPictureFor(map(5)), use(99));
    EXPECT_EQ(settings.MapPartsPictures().size(), TSettings::MaxMapPartsPictures);
    changed.clear();
    settings.RememberPartsPicture(map(5), use(99));
    EXPECT_EQ(changed.count(), 0);
    // A map is one whatever its path says on the way.
    EXPECT_EQ(settings.PartsPictureFor(QStringLiteral("/maps/x/../5.mpd")), use(99));

    settings.SetLastPartsPicture(use(7));
    settings.SetMapFolder(QStringLiteral("/maps"));
    settings.SetPartsFolder(QStringLiteral("/p"));
    settings.WriteTo(Ini);
    TSettings read;
    read.ReadFrom(Ini);
    EXPECT_EQ(read.MapPartsPictures(), settings.MapPartsPictures());
    EXPECT_EQ(read.LastPartsPicture(), use(7));
    EXPECT_EQ(read.MapFolder(), QStringLiteral("/maps"));
    EXPECT_EQ(read.PartsFolder(), QStringLiteral("/p"));
    // Written again unchanged, the file stays the same byte for byte.
    const QByteArray bytes = Bytes();
    read.WriteTo(Ini);
    EXPECT_EQ(Bytes(), bytes);
}

// The full-map picture dialog's choices: kept within range, announced once per change,
// written only once they differ from the defaults and read back as written.
TEST_F(SettingsFileTest, MapPictureChoicesAreClampedAndKeptInTheFile)
{
    TSettings settings;
    settings.WriteTo(Ini);
    EXPECT_FALSE(Bytes().contains("MapPicture"));

    QSignalSpy changed(&settings, &TSettings::mapPictureChoiceChanged);
    TMapPictureChoice wild;
    wild.CellKind = TMapPictureChoice::ckCustom;
    wild.CellSize = 70000;
    wild.PngLevel = 12;
    wild.Split = true;
    wild.TileWidth = 0;
    wild.TileHeight = 300;
    settings.SetMapPictureChoice(wild);
    settings.SetMapPictureChoice(wild);
    EXPECT_EQ(changed.count(), 1);
    const TMapPictureChoice kept = settings.MapPictureChoice();
    EXPECT_EQ(kept.CellSize, TMapPictureChoice::MaxCellSize);
    EXPECT_EQ(kept.PngLevel, 9);
    EXPECT_EQ(kept.TileWidth, 1);
    EXPECT_EQ(kept.TileHeight, 300);

    settings.WriteTo(Ini);
    TSettings read;
    read.ReadFrom(Ini);
    EXPECT_EQ(read.MapPictureChoice(), kept);
}

TEST_F(SettingsFileTest, TheTerrainChoiceIsKeptInItsSection)
{
    TSettings settings;
    settings.WriteTo(Ini);
    EXPECT_FALSE(Bytes().contains("[Terrain]"));
    QSignalSpy changed(&settings, &TSettings::terrainChoiceChanged);
    settings.SetTerrainChoice({QStringLiteral("水辺"), 3});
    settings.SetTerrainChoice({QStringLiteral("水辺"), 3});
    EXPECT_EQ(changed.count(), 1);
    settings.WriteTo(Ini);
    EXPECT_TRUE(Bytes().contains("[Terrain]"));
    TSettings read;
    read.ReadFrom(Ini);
    EXPECT_EQ(read.TerrainChoice(), (TTerrainChoice{QStringLiteral("水辺"), 3}));
}

} // namespace
