// The plug-in manager: kinds, loading, search order and de-duplication, registration of
// extensions, FindSPIs order, the single-manager rule.
#include "SPIs.h"

#include "SPIBmp.h"
#include "SpiTestSupport.h"

#include <QFileInfo>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace spitest;

namespace {

// A fresh manager on its own formats, with the plug-in bitmap as the class to register.
struct ManagerFixture : ::testing::Test
{
    void SetUp() override
    {
        TSPIBitmap::InitializeUnit();
        Formats = TPictureFormats::WithQtFormats();
        Manager = std::make_unique<TSPIs>(Formats);
        Manager->AppDir = App.path();
    }
    void TearDown() override { Manager.reset(); }

    TPictureFormats Formats;
    std::unique_ptr<TSPIs> Manager;
    QTemporaryDir App;
    SusieSettings Susie;
};

struct KindCase
{
    const char* Plugin;
    bool Loads;
    TSPIKind Kind;
    bool Loader;
    const char* Version;
    QStringList Patterns;
    QStringList Names;
};

TEST(SPIKinds, LoadPluginPicksTheKindByTheApiVersionAndChecksItsExports)
{
    const KindCase cases[] = {
        {"tp_in", true, TSPIKind::InSPI, true, "00IN", {"*.tpic"}, {"Test pictures"}},
        {"tp_picmag",
         true,
         TSPIKind::InSPI,
         true,
         "00IN",
         {"*.pic", "*.mag;*.mki"},
         {"PIC", "MAG"}},
        // Compared exactly: the lower-case version is no picture plug-in.
        {"tp_lower", true, TSPIKind::SPI, false, "00in", {"*.tpic"}, {"Test pictures"}},
        {"tp_noversion", true, TSPIKind::SPI, false, "", {"*.tpic"}, {"Test pictures"}},
        {"tp_am", true, TSPIKind::AmSPI, true, "00AM", {"*.tpic"}, {"Test pictures"}},
        {"tp_xn", true, TSPIKind::XnSPI, false, "00XN", {"*.tpic"}, {"Test pictures"}},
        // Number 2 without number 3: no pairs at all.
        {"tp_noinfo3", true, TSPIKind::InSPI, true, "00IN", {}, {}},
        {"tp_nopattern", true, TSPIKind::InSPI, true, "00IN", {}, {}},
        // A missing export the kind needs.
        {"tp_nogetpicture", false, {}, false, "", {}, {}},
        {"tp_nogetpictureinfo", false, {}, false, "", {}, {}},
        {"tp_noissupported", false, {}, false, "", {}, {}},
        {"tp_nogetplugininfo", false, {}, false, "", {}, {}},
        {"tp_am_nogetfile", false, {}, false, "", {}, {}},
        {"tp_am_noissupported", false, {}, false, "", {}, {}},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.Plugin);
        const QString path =
            QFileInfo(builtPlugin(QString::fromLatin1(c.Plugin))).canonicalFilePath();
        const std::unique_ptr<TSPI> spi = TSPIs::LoadPlugin(path);
        ASSERT_EQ(spi != nullptr, c.Loads);
        if (!spi)
            continue;
        EXPECT_EQ(spi->Kind(), c.Kind);
        EXPECT_EQ(spi->Loader(), c.Loader);
        EXPECT_EQ(spi->IsLoader(), c.Loader);
        EXPECT_EQ(spi->APIVersion(), QString::fromLatin1(c.Version));
        EXPECT_EQ(spi->FilePatterns(), c.Patterns);
        EXPECT_EQ(spi->FileTypeNames(), c.Names);
        EXPECT_EQ(spi->FileName(), path);
        EXPECT_EQ(spi->Description(),
                  QStringLiteral("Test plug-in ") + QString::fromLatin1(c.Plugin));
    }
}

TEST(SPIKinds, KindsDeriveAsTheTreeSays)
{
    struct Row
    {
        const char* Plugin;
        bool Spi, LoaderSpi, In, Am, Xn;
    };
    const Row rows[] = {
        {"tp_in", true, true, true, false, false},
        {"tp_am", true, true, false, true, false},
        {"tp_xn", true, false, false, false, true},
        {"tp_lower", true, false, false, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Plugin);
        const auto spi = TSPIs::LoadPlugin(builtPlugin(QString::fromLatin1(r.Plugin)));
        ASSERT_TRUE(spi);
        EXPECT_EQ(spi->InheritsFrom(TSPIKind::SPI), r.Spi);
        EXPECT_EQ(spi->InheritsFrom(TSPIKind::LoaderSPI), r.LoaderSpi);
        EXPECT_EQ(spi->InheritsFrom(TSPIKind::InSPI), r.In);
        EXPECT_EQ(spi->InheritsFrom(TSPIKind::AmSPI), r.Am);
        EXPECT_EQ(spi->InheritsFrom(TSPIKind::XnSPI), r.Xn);
    }
}

TEST(SPIKinds, UnloadableFilesGiveNoneAndTheErrorsSayWhy)
{
    QTemporaryDir dir;
    const QString junk = dir.filePath(QStringLiteral("junk.spi"));
    writeFile(junk, QByteArray(4096, 'x'));
    const QString missing = dir.filePath(QStringLiteral("missing.spi"));
    // A name without a folder must not be looked up anywhere, the current folder least.
    const QString relative = QStringLiteral("tp_in.spi");
    for (const QString& name : {junk, missing, relative, QString()}) {
        SCOPED_TRACE(qPrintable(name));
        EXPECT_EQ(TSPIs::LoadPlugin(name), nullptr);
        try {
            TSPI::Create(TSPIKind::SPI, name);
            ADD_FAILURE() << "no error";
        } catch (const ESPIFOpenErrorSPI& e) {
            EXPECT_EQ(e.message(), name + QStringLiteral(":Susie Pluginがロードできませんでした"));
        }
    }

    const QString path =
        QFileInfo(builtPlugin(QStringLiteral("tp_nogetpicture"))).canonicalFilePath();
    try {
        TSPI::Create(TSPIKind::InSPI, path);
        ADD_FAILURE() << "no error";
    } catch (const ESPIInvalidAPI& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("GetPictureは[%1]では使えないSusie Plugin APIです").arg(path));
    }
    // As a plain plug-in it loads; calling the missing export raises instead of crashing.
    const auto plain = TSPI::Create(TSPIKind::SPI, path);
    HLOCAL info = nullptr, bits = nullptr;
    EXPECT_THROW(plain->GetPicture("", 0, SPI_INPUT_MEMORY, &info, &bits, nullptr, 0),
                 ESPIInvalidAPI);
    EXPECT_NE(plain->ProcAddress("IsSupported"), nullptr);
    EXPECT_EQ(plain->ProcAddress("GetPicture"), nullptr);
}

TEST(SPIManager, OnlyOneRunsAtATime)
{
    TPictureFormats formats;
    EXPECT_EQ(TSPIs::ActiveSPIs(), nullptr);
    {
        TSPIs first(formats);
        EXPECT_EQ(TSPIs::ActiveSPIs(), &first);
        try {
            TSPIs second(formats);
            ADD_FAILURE() << "a second manager was made";
        } catch (const ESPIDupCreateSPIs& e) {
            EXPECT_EQ(e.message(), QStringLiteral("TSPIs は複数生成できません"));
        }
        EXPECT_EQ(TSPIs::ActiveSPIs(), &first);
    }
    EXPECT_EQ(TSPIs::ActiveSPIs(), nullptr);
    TSPIs again(formats);
    EXPECT_EQ(TSPIs::ActiveSPIs(), &again);
}

TEST_F(ManagerFixture, InsertRegistersEachPatternsExtensionOfPicturePluginsOnly)
{
    struct Row
    {
        const char* Plugin;
        QStringList Registered; // extension=description
    };
    const Row rows[] = {
        {"tp_picmag", {"pic=PIC", "mag=MAG", "mki=MAG"}},
        {"tp_in", {"tpic=Test pictures"}},
        {"tp_lower", {}},
        {"tp_noinfo3", {}},
        {"tp_am", {}},
        {"tp_noperiod", {"readme=Plain name"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Plugin);
        Formats = TPictureFormats();
        Manager->Clear();
        Manager->Add(TSPIs::LoadPlugin(builtPlugin(QString::fromLatin1(r.Plugin))));
        QStringList registered;
        for (const TPictureFormat& f : Formats.Entries()) {
            EXPECT_EQ(f.Owner, TSPIBitmap::GraphicClassOwner);
            registered << f.Extension + QLatin1Char('=') + f.Description;
        }
        EXPECT_EQ(registered, r.Registered);
    }
}

TEST_F(ManagerFixture, LaterPluginWinsAnExtensionAndTheHandlerMayChangeOrClearTheClass)
{
    QStringList seen;
    Manager->OnPictureRegister = [&](TSPIs* sender, TInSPI* spi, const QString& ext,
                                     const QString& description, TSPIGraphicClass& graphicClass) {
        EXPECT_EQ(sender, Manager.get());
        seen << QFileInfo(spi->FileName()).baseName() + QLatin1Char(':') + ext + QLatin1Char(':') +
                    description;
        if (ext == u"mki")
            graphicClass = {};
        else
            graphicClass.Owner = QFileInfo(spi->FileName()).baseName();
    };
    Manager->Add(TSPIs::LoadPlugin(builtPlugin(QStringLiteral("tp_png_a"))));
    Manager->Add(TSPIs::LoadPlugin(builtPlugin(QStringLiteral("tp_png_b"))));
    Manager->Add(TSPIs::LoadPlugin(builtPlugin(QStringLiteral("tp_picmag"))));
    EXPECT_EQ(seen, (QStringList{"tp_png_a:png:PNG by plug-in", "tp_png_b:png:PNG by plug-in",
                                 "tp_picmag:pic:PIC", "tp_picmag:mag:MAG", "tp_picmag:mki:MAG"}));
    ASSERT_TRUE(Formats.Find(QStringLiteral("png")));
    EXPECT_EQ(Formats.Find(QStringLiteral("png"))->Owner, QStringLiteral("tp_png_b"));
    EXPECT_EQ(Formats.Find(QStringLiteral("mki")), nullptr);
    // Registrations stay when the plug-ins go, until the bitmap's are withdrawn.
    Manager->Clear();
    EXPECT_TRUE(Formats.Find(QStringLiteral("pic")));
}

TEST_F(ManagerFixture, WithoutAGraphicClassNothingIsRegistered)
{
    SPIGraphicClass() = {};
    Manager->Add(TSPIs::LoadPlugin(builtPlugin(QStringLiteral("tp_in"))));
    EXPECT_EQ(Formats.Find(QStringLiteral("tpic")), nullptr);
    TSPIBitmap::InitializeUnit();
    Manager->Add(TSPIs::LoadPlugin(builtPlugin(QStringLiteral("tp_picmag"))));
    EXPECT_TRUE(Formats.Find(QStringLiteral("pic")));
    TSPIBitmap::FinalizeUnit(Formats);
    EXPECT_EQ(Formats.Find(QStringLiteral("pic")), nullptr);
    EXPECT_TRUE(Formats.Find(QStringLiteral("png"))) << "Qt's own formats stay";
}

TEST_F(ManagerFixture, ListOperationsAndIndexOfIgnoringCase)
{
    Manager->Add(TSPIs::LoadPlugin(builtPlugin(QStringLiteral("tp_in"))));
    Manager->Add(TSPIs::LoadPlugin(builtPlugin(QStringLiteral("tp_am"))));
    Manager->Insert(0, TSPIs::LoadPlugin(builtPlugin(QStringLiteral("tp_xn"))));
    ASSERT_EQ(Manager->Count(), 3);
    EXPECT_EQ(Manager->Item(0)->Kind(), TSPIKind::XnSPI);
    const QString in = Manager->Item(1)->FileName();
    EXPECT_EQ(Manager->IndexOf(in), 1);
    EXPECT_EQ(Manager->IndexOf(in.toUpper()), 1);
    EXPECT_EQ(Manager->IndexOf(in + QLatin1Char('x')), -1);
    Manager->Delete(1);
    EXPECT_EQ(Manager->IndexOf(in), -1);
    EXPECT_EQ(Manager->Count(), 2);
    Manager->Clear();
    EXPECT_EQ(Manager->Count(), 0);
}

QStringList baseNames(const TSPIs& manager)
{
    QStringList names;
    for (int i = 0; i < manager.Count(); ++i)
        names << QFileInfo(manager.Item(i)->FileName()).completeBaseName();
    return names;
}

TEST_F(ManagerFixture, SearchSkipsWhatCannotBeAPluginAndCallsTheEventsInFolderOrder)
{
    installPlugin(App.path(), QStringLiteral("tp_picmag"));
    installPlugin(App.path(), QStringLiteral("tp_in"));
    installPlugin(App.path(), QStringLiteral("tp_nogetpicture"));
    installPlugin(App.path(), QStringLiteral("tp_lower"), QStringLiteral(".hidden.spi"));
    installPlugin(App.path(), QStringLiteral("tp_xn"), QStringLiteral("upper.SPI"));
    installPlugin(App.path(), QStringLiteral("tp_am"), QStringLiteral("other.dll"));
    writeFile(App.filePath(QStringLiteral("junk.spi")), QByteArray("not a library"));
    QDir(App.path()).mkdir(QStringLiteral("folder.spi"));

    QStringList searching, searched;
    Manager->OnSearching = [&](TSPIs*, const QString& fileName, bool& accept) {
        searching << QFileInfo(fileName).fileName();
        EXPECT_TRUE(accept);
    };
    Manager->OnSearch = [&](TSPIs*, TSPI* spi, bool& accept) {
        searched << QFileInfo(spi->FileName()).fileName();
        EXPECT_TRUE(accept);
    };
    Manager->Search();
    EXPECT_EQ(searching, (QStringList{"junk.spi", "tp_in.spi", "tp_nogetpicture.spi",
                                      "tp_picmag.spi", "upper.SPI"}));
    EXPECT_EQ(searched, (QStringList{"tp_in.spi", "tp_picmag.spi", "upper.SPI"}));
    EXPECT_EQ(baseNames(*Manager), (QStringList{"tp_in", "tp_picmag", "upper"}));

    // A second search finds nothing new.
    searching.clear();
    Manager->Search();
    EXPECT_EQ(searching, (QStringList{"junk.spi", "tp_nogetpicture.spi"}));
    EXPECT_EQ(Manager->Count(), 3);
}

TEST_F(ManagerFixture, SearchEventsMaySkipDiscardOrFailWithoutStoppingTheSearch)
{
    installPlugin(App.path(), QStringLiteral("tp_in"));
    installPlugin(App.path(), QStringLiteral("tp_picmag"));
    installPlugin(App.path(), QStringLiteral("tp_png_a"));
    installPlugin(App.path(), QStringLiteral("tp_png_b"));
    Manager->OnSearching = [](TSPIs*, const QString& fileName, bool& accept) {
        accept = !fileName.endsWith(QStringLiteral("tp_in.spi"));
    };
    Manager->OnSearch = [](TSPIs*, TSPI* spi, bool& accept) {
        if (spi->FileName().endsWith(QStringLiteral("tp_png_a.spi")))
            throw std::runtime_error("refused");
        accept = !spi->FileName().endsWith(QStringLiteral("tp_picmag.spi"));
    };
    Manager->Search();
    EXPECT_EQ(baseNames(*Manager), QStringList{"tp_png_b"});
    // A discarded plug-in registers nothing.
    EXPECT_EQ(Formats.Find(QStringLiteral("pic")), nullptr);
    EXPECT_EQ(Formats.Find(QStringLiteral("tpic")), nullptr);
}

TEST_F(ManagerFixture, SearchLooksInTheSusieFolderThenTheProgramsFolder)
{
    QTemporaryDir susie;
    installPlugin(susie.path(), QStringLiteral("tp_png_b"));
    const QString pngA = installPlugin(App.path(), QStringLiteral("tp_png_a"));
    struct Row
    {
        const char* Name;
        QVariant Path;
        TSPISearchOptions Options;
        QStringList Expected;
    };
    const Row rows[] = {
        {"both", susie.path(), {spsSusieDir, spsAppDir}, {"tp_png_b", "tp_png_a"}},
        {"app only", susie.path(), {spsAppDir}, {"tp_png_a"}},
        {"no value", QVariant(), {spsSusieDir, spsAppDir}, {"tp_png_a"}},
        {"empty value", QString(), {spsSusieDir, spsAppDir}, {"tp_png_a"}},
        {"a list is no folder",
         QStringList{susie.path(), susie.path()},
         {spsSusieDir, spsAppDir},
         {"tp_png_a"}},
        {"no such folder", susie.path() + QStringLiteral("/gone"), {spsSusieDir}, {}},
        {"none here", susie.path(), {spsSystemDir, spsWindowsDir}, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Name);
        Susie.clear();
        if (r.Path.isValid())
            Susie.setPath(r.Path);
        Manager->Clear();
        Manager->SearchOptions = r.Options;
        Manager->Search();
        EXPECT_EQ(baseNames(*Manager), r.Expected);
    }
    // With both, the one loaded later takes png.
    Susie.setPath(susie.path());
    Manager->Clear();
    Formats = TPictureFormats::WithQtFormats();
    Manager->OnPictureRegister = [](TSPIs*, TInSPI* spi, const QString&, const QString&,
                                    TSPIGraphicClass& graphicClass) {
        graphicClass.Owner = spi->FileName();
    };
    Manager->SearchOptions = {spsSusieDir, spsAppDir};
    Manager->Search();
    ASSERT_TRUE(Formats.Find(QStringLiteral("png")));
    EXPECT_EQ(Formats.Find(QStringLiteral("png"))->Owner, pngA);
}

// Restores the current folder when a test leaves.
struct CurrentFolder
{
    QString Saved = QDir::currentPath();
    ~CurrentFolder() { QDir::setCurrent(Saved); }
};

TEST_F(ManagerFixture, CurrentFolderCountsOnlyWhenItIsOneOfTheProgramsAndLoadsNothingTwice)
{
    CurrentFolder keep;
    QTemporaryDir susie, elsewhere;
    installPlugin(App.path(), QStringLiteral("tp_in"));
    installPlugin(susie.path(), QStringLiteral("tp_picmag"));
    installPlugin(elsewhere.path(), QStringLiteral("tp_png_a"));
    Susie.setPath(susie.path());
    const TSPISearchOptions all{spsSusieDir, spsAppDir, spsCurrentDir};
    struct Row
    {
        const char* Name;
        QString Current;
        QStringList Expected;
        QStringList Searching;
    };
    const Row rows[] = {
        // Starting the program in a folder full of plug-ins runs none of them.
        {"elsewhere", elsewhere.path(), {"tp_picmag", "tp_in"}, {"tp_picmag.spi", "tp_in.spi"}},
        {"program's folder", App.path(), {"tp_picmag", "tp_in"}, {"tp_picmag.spi", "tp_in.spi"}},
        {"Susie folder", susie.path(), {"tp_picmag", "tp_in"}, {"tp_picmag.spi", "tp_in.spi"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Name);
        ASSERT_TRUE(QDir::setCurrent(r.Current));
        Manager->Clear();
        Manager->SearchOptions = all;
        QStringList searching;
        Manager->OnSearching = [&](TSPIs*, const QString& fileName, bool&) {
            searching << QFileInfo(fileName).fileName();
        };
        Manager->Search();
        EXPECT_EQ(baseNames(*Manager), r.Expected);
        EXPECT_EQ(searching, r.Searching) << "each file is a candidate once";
    }
}

TEST_F(ManagerFixture, ARelativeSusieFolderIsIgnoredWhereverTheProgramStarts)
{
    CurrentFolder keep;
    QTemporaryDir start;
    ASSERT_TRUE(QDir(start.path()).mkdir(QStringLiteral("sub")));
    installPlugin(start.path(), QStringLiteral("tp_in"));
    installPlugin(start.filePath(QStringLiteral("sub")), QStringLiteral("tp_picmag"));
    ASSERT_TRUE(QDir::setCurrent(start.path()));
    Manager->SearchOptions = {spsSusieDir};
    for (const char* path : {".", "sub", "./sub/..", ""}) {
        SCOPED_TRACE(path);
        Susie.setPath(QString::fromLatin1(path));
        Manager->Clear();
        Manager->Search();
        EXPECT_EQ(Manager->Count(), 0);
        EXPECT_TRUE(TSPIs::SusieDir().isEmpty());
        // Said once for a relative setting; an empty one is simply no folder.
        EXPECT_EQ(Manager->Refusals().size(), *path ? 1 : 0);
        if (*path) {
            EXPECT_TRUE(Manager->Refusals().back().contains(QString::fromLatin1(path)));
        }
    }
}

TEST_F(ManagerFixture, FoldersAndPluginsOthersCanChangeAreNotLoadedAndTheReasonIsGiven)
{
    constexpr uid_t NoRoot = 65534;
    QTemporaryDir susie;
    const QString folder = susie.filePath(QStringLiteral("plugins"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString plugin = installPlugin(folder, QStringLiteral("tp_in"));
    Susie.setPath(folder);
    Manager->SearchOptions = {spsSusieDir};
    struct Row
    {
        const char* Name;
        mode_t FolderMode;
        mode_t FileMode;
        uid_t FileOwner;    // the test's own user unless another is given
        const char* Reason; // empty: loaded
    };
    const uid_t me = ::geteuid();
    const Row rows[] = {
        {"owner only", 0700, 0700, me, ""},
        {"readable by all", 0755, 0644, me, ""},
        {"folder writable by its group", 0775, 0755, me, "プラグインフォルダ"},
        {"folder writable by all", 0777, 0755, me, "プラグインフォルダ"},
        {"folder writable by all, sticky", 01777, 0755, me, "プラグインフォルダ"},
        {"file writable by its group", 0755, 0775, me, "プラグイン /"},
        {"file writable by all", 0755, 0757, me, "プラグイン /"},
        {"file of another user", 0755, 0755, NoRoot, "UID 65534"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Name);
        if (r.FileOwner != me && me != 0)
            continue; // only root can give a file away
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), r.FolderMode), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(plugin).constData(), r.FileMode), 0);
        ASSERT_EQ(::chown(QFile::encodeName(plugin).constData(), r.FileOwner, gid_t(-1)), 0);
        Manager->Clear();
        Manager->Search();
        const QString reason = QString::fromUtf8(r.Reason);
        EXPECT_EQ(Manager->Count(), reason.isEmpty() ? 1 : 0);
        if (reason.isEmpty()) {
            EXPECT_TRUE(Manager->Refusals().isEmpty());
        } else {
            ASSERT_EQ(Manager->Refusals().size(), 1);
            EXPECT_TRUE(Manager->Refusals().back().contains(reason))
                << Manager->Refusals().back().toStdString();
        }
        ASSERT_EQ(::chown(QFile::encodeName(plugin).constData(), me, gid_t(-1)), 0);
    }
}

TEST_F(ManagerFixture, TheSameFileThroughTwoFoldersIsLoadedOnce)
{
    QTemporaryDir other;
    installPlugin(App.path(), QStringLiteral("tp_in"));
    // The Susie folder is a link to the program's folder.
    const QString link = other.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(App.path(), link));
    Susie.setPath(link);
    Manager->SearchOptions = {spsSusieDir, spsAppDir};
    Manager->Search();
    EXPECT_EQ(baseNames(*Manager), QStringList{"tp_in"});
}

TEST_F(ManagerFixture, AMaskWithAFolderSearchesThatFolderAlone)
{
    QTemporaryDir other;
    installPlugin(App.path(), QStringLiteral("tp_in"));
    installPlugin(other.path(), QStringLiteral("tp_png_a"));
    installPlugin(other.path(), QStringLiteral("tp_picmag"));
    Manager->Search(other.filePath(QStringLiteral("tp_p*.spi")));
    EXPECT_EQ(baseNames(*Manager), (QStringList{"tp_picmag", "tp_png_a"}));
    Manager->Clear();
    Manager->AutoSearch = false;
    Manager->Loaded();
    EXPECT_EQ(Manager->Count(), 0);
    Manager->AutoSearch = true;
    Manager->Loaded();
    EXPECT_EQ(baseNames(*Manager), QStringList{"tp_in"});
}

TEST_F(ManagerFixture, FindSPIsPutsTheClaimingPluginsFirstInReverseOrder)
{
    for (const char* name : {"tp_in", "tp_png_a", "tp_picmag", "tp_png_b", "tp_am", "tp_xn"})
        Manager->Add(TSPIs::LoadPlugin(builtPlugin(QString::fromLatin1(name))));
    struct Row
    {
        std::initializer_list<TSPIKind> Kinds;
        const char* FileName;
        QStringList Expected;
    };
    const Row rows[] = {
        {{TSPIKind::InSPI}, "a.png", {"tp_png_b", "tp_png_a", "tp_in", "tp_picmag"}},
        {{TSPIKind::InSPI}, "dir.x/A.PNG", {"tp_png_b", "tp_png_a", "tp_in", "tp_picmag"}},
        {{TSPIKind::InSPI}, "a.mki", {"tp_picmag", "tp_in", "tp_png_a", "tp_png_b"}},
        // An entry of several patterns is taken by the extension of its last.
        {{TSPIKind::InSPI}, "a.mag", {"tp_in", "tp_png_a", "tp_picmag", "tp_png_b"}},
        {{TSPIKind::InSPI}, ".tpic", {"tp_in", "tp_png_a", "tp_picmag", "tp_png_b"}},
        {{TSPIKind::InSPI}, "noext", {"tp_in", "tp_png_a", "tp_picmag", "tp_png_b"}},
        {{TSPIKind::InSPI}, "dir.png/noext", {"tp_in", "tp_png_a", "tp_picmag", "tp_png_b"}},
        {{TSPIKind::LoaderSPI}, "a.png", {"tp_png_b", "tp_png_a", "tp_in", "tp_picmag", "tp_am"}},
        {{TSPIKind::AmSPI, TSPIKind::XnSPI}, "a.png", {"tp_am", "tp_xn"}},
        {{TSPIKind::SPI}, "", {"tp_in", "tp_png_a", "tp_picmag", "tp_png_b", "tp_am", "tp_xn"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.FileName);
        std::vector<TSPI*> found;
        Manager->FindSPIs(r.Kinds, found, QString::fromLatin1(r.FileName));
        QStringList names;
        for (TSPI* spi : found)
            names << QFileInfo(spi->FileName()).completeBaseName();
        EXPECT_EQ(names, r.Expected);
    }
    // The list is added to, not replaced.
    std::vector<TSPI*> found{Manager->Item(5)};
    Manager->FindSPIs({TSPIKind::InSPI}, found, QStringLiteral("a.tpic"));
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found.front(), Manager->Item(0));
    EXPECT_EQ(found[1], Manager->Item(5));
}

} // namespace
