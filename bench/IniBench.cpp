// The settings file of a long use, 100,000 remembered maps (16.8 MB): the reads of a
// program start and the writes of its end, beside reading the file's bytes and writing
// them whole, measured in the same run. The start reads the file once, the end writes it
// once (before, each read and each write went through the whole file: 3.8 s and 15 s).

#include "FileWrite.h"
#include "IniGT.h"
#include "RatioReporter.h"
#include "RememberedMapsIni.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int Maps = 100'000;

struct TFixture
{
    QTemporaryDir Dir;
    QString Path = Dir.filePath(QStringLiteral("Quiltmapper.ini"));
    QByteArray Bytes = RememberedMapsIni(Maps);

    // The file as an earlier session left it, an hour old.
    void Put()
    {
        QFile file(Path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(Bytes) != Bytes.size())
            qFatal("cannot write %s", qPrintable(Path));
        file.close();
        struct timespec times[2];
        ::clock_gettime(CLOCK_REALTIME, &times[0]);
        times[0].tv_sec -= 3600;
        times[1] = times[0];
        ::utimensat(AT_FDCWD, QFile::encodeName(Path).constData(), times, 0);
    }
};

TFixture& Fixture()
{
    static TFixture fixture;
    return fixture;
}

const QString Sections[] = {QStringLiteral("MainWindow"), QStringLiteral("PartsWindow"),
                            QStringLiteral("ToolBox")};
const char* const Suffixes[] = {".Flags", ".Show", ".MaxX",  ".MaxY",
                                ".X",     ".Y",    ".XSize", ".YSize"};

void Baseline_ReadRaw(benchmark::State& state)
{
    Fixture().Put();
    for (auto _ : state) {
        QFile file(Fixture().Path);
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(file.readAll().size());
    }
}

void Baseline_WriteWhole(benchmark::State& state)
{
    for (auto _ : state) {
        if (!WriteFileWhole(Fixture().Path, Fixture().Bytes))
            state.SkipWithError("write failed");
    }
}

// What a start reads: the settings, then each window's placement.
void Ini_Start(benchmark::State& state)
{
    Fixture().Put();
    for (auto _ : state) {
        TIniGT ini;
        ini.SetFileName(Fixture().Path);
        TSettings settings;
        settings.ReadFrom(ini);
        for (const QString& section : Sections) {
            ini.HasPlacement(section, QStringLiteral("WindowState"));
            for (const char* suffix : Suffixes)
                ini.ReadInteger(section, QStringLiteral("WindowState") + QLatin1String(suffix), 0);
        }
        benchmark::DoNotOptimize(settings.MapPartsPictures().size());
    }
}

// What an end writes, gathered as the program gathers it, after the start has read the
// file.
void Ini_End(benchmark::State& state)
{
    TIniGT ini;
    ini.SetFileName(Fixture().Path);
    TSettings settings;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Fixture().Put(); // as an earlier session left it
        settings.ReadFrom(ini);
        state.ResumeTiming();
        TIniGT::TWriteBatch batch(ini);
        settings.WriteTo(ini);
        for (const QString& section : Sections) {
            for (const char* suffix : Suffixes)
                ini.WriteInteger(section, QStringLiteral("WindowState") + QLatin1String(suffix),
                                 ++round);
        }
        batch.Commit();
    }
}

#define QM_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0)

QM_BENCH(Baseline_ReadRaw);
QM_BENCH(Ini_Start);
QM_BENCH(Baseline_WriteWhole);
QM_BENCH(Ini_End);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return RunWithRatios(argc, argv,
                         {
                             {"Ini_Start", "Baseline_ReadRaw", 30.0},
                             {"Ini_End", "Baseline_WriteWhole", 3.0},
                         },
                         {{"Ini_Start", 1000.0}, {"Ini_End", 1000.0}});
}
