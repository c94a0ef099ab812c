#include "FileEvents.h"
#include "IniFile.h"
#include "IniGT.h"
#include "ProgramFixture.h"
#include "RememberedMapsIni.h"

#include <QFile>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

namespace {

// Writes the file as another program would, dated an hour back as a file from an earlier
// session is.
void putAged(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.close();
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

class IniUseTest : public ProgramTest
{
};

TEST_F(IniUseTest, TheFileIsReadOnceAtTheStartAndWrittenOnceAtTheEnd)
{
    constexpr int Maps = TSettings::MaxMapPartsPictures;
    Program.reset();
    putAged(IniPath(), RememberedMapsIni(Maps));
    TFileEvents events(Dir.path(), QStringLiteral("Quiltmapper.ini"));
    ASSERT_TRUE(events.IsValid());

    const auto readMany = [&] {
        for (int i = 0; i < 100; ++i)
            IniGT().ReadInteger(QStringLiteral("MainWindow"), QStringLiteral("GridLineWidth"), 7);
    };
    struct Row
    {
        const char* Name;
        std::function<void()> Prepare; // not counted
        std::function<void()> Act;
        int Opens;
        int Replaces;
        std::function<bool()> Holds;
    };
    const Row rows[] = {
        {"start", [] {}, [&] { StartProgram(); }, 1, 0,
         [&] {
             return Settings().MapPartsPictures().size() == Maps &&
                    Settings()
                            .PartsPictureFor(QStringLiteral("/home/user/maps/level7.mpd"))
                            .Picture == QStringLiteral("/home/user/pictures/parts7.png") &&
                    !Settings().ShowTitle();
         }},
        {"reads of an unchanged file", [] {}, readMany, 0, 0,
         [&] {
             return IniGT().ReadInteger(QStringLiteral("MainWindow"),
                                        QStringLiteral("GridLineWidth"), 7) == 0;
         }},
        {"reads after another program changed it",
         [&] { putAged(IniPath(), RememberedMapsIni(Maps - 1, 1)); }, readMany, 1, 0,
         [&] {
             return IniGT().ReadInteger(QStringLiteral("MainWindow"),
                                        QStringLiteral("GridLineWidth"), 7) == 1;
         }},
        {"end", [] {}, [&] { Program.reset(); }, -1, 1,
         [&] {
             TIniFile file(IniPath());
             return Script.Log.isEmpty() &&
                    file.ReadString(QStringLiteral("MapPartsPictures"),
                                    QStringLiteral("Map50.Picture"),
                                    {}) == QStringLiteral("/home/user/pictures/parts50.png") &&
                    file.ReadString(QStringLiteral("MainWindow"),
                                    QStringLiteral("WindowState.Show"), {}) == u"1";
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        row.Prepare();
        events.Take();
        row.Act();
        const TFileEvents::TCounts counts = events.Take();
        if (row.Opens >= 0)
            EXPECT_EQ(counts.Opens, row.Opens);
        else // the write may look at the file it replaces
            EXPECT_LE(counts.Opens, 1);
        EXPECT_EQ(counts.Replaces, row.Replaces);
        EXPECT_TRUE(row.Holds());
    }
    StartProgram(); // so that TearDown has a program to end
}

} // namespace
