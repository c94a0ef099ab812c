#include "CliSupport.h"

#include "CliText.h"
#include "SPIBmp.h"
#include "SPIs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace cli {

QString extraPluginFolder;

PictureReaders::PictureReaders() : FFormats(TPictureFormats::WithQtFormats())
{
    if (TSPIs::ActiveSPIs())
        return;
    TSPIBitmap::InitializeUnit();
    FManager = std::make_unique<TSPIs>(FFormats);
    FManager->Loaded();
    if (!extraPluginFolder.isEmpty())
        FManager->Search(QDir(extraPluginFolder).absoluteFilePath(QStringLiteral("*.spi")));
}

PictureReaders::~PictureReaders() = default;

QuietStderr::QuietStderr()
{
    std::fflush(stderr);
#ifdef _WIN32
    const int null = _open("NUL", _O_WRONLY);
    FSaved = null >= 0 ? _dup(2) : -1;
    if (FSaved >= 0 && _dup2(null, 2) != 0) {
        _close(FSaved);
        FSaved = -1;
    }
    if (null >= 0)
        _close(null);
#else
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    FSaved = null >= 0 ? fcntl(2, F_DUPFD_CLOEXEC, 0) : -1;
    if (FSaved >= 0 && dup2(null, 2) < 0) {
        close(FSaved);
        FSaved = -1;
    }
    if (null >= 0)
        close(null);
#endif
}

QuietStderr::~QuietStderr()
{
    if (FSaved < 0)
        return; // nothing was redirected
    std::fflush(stderr);
#ifdef _WIN32
    _dup2(FSaved, 2);
    _close(FSaved);
#else
    dup2(FSaved, 2);
    close(FSaved);
#endif
}

MapWork::MapWork()
    : Formats(TPictureFormats::WithQtFormats()), Session(Formats, TMapSession::TParts::SizeOnly)
{
}

namespace {

QString describeLoadFailure(const TMapLoadResult& r)
{
    if (r.Status == TMapLoadStatus::NotType2)
        return QStringLiteral("not a type 2 map file (no \"%1\" at its start)")
            .arg(QString::fromLatin1(MapFileMagic));
    return QStringLiteral("cannot be opened, has a damaged header, or its size is not 1..9999");
}

void expectMapFile(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        failure(QStringLiteral("map file %1 does not exist").arg(fileName));
    if (!info.isFile())
        failure(QStringLiteral("map file %1 is not a file").arg(fileName));
}

[[noreturn]] void cannotRead(const QString& fileName, TMapFileType type, const TMapLoadResult& r)
{
    failure(QStringLiteral("cannot read map %1 as type %2: %3")
                .arg(fileName)
                .arg(int(type))
                .arg(describeLoadFailure(r)));
}

} // namespace

TMapHeader readHeader(const QString& fileName, TMapFileType type)
{
    expectMapFile(fileName);
    QFile file(fileName);
    TMapLoadResult r;
    std::optional<TMapHeader> header;
    if (file.open(QIODevice::ReadOnly))
        header = ReadMapHeader(file, type, &r.Status);
    if (!header)
        cannotRead(fileName, type, r);
    return *header;
}

TMapLoadResult loadMap(const QString& fileName, TMapFileType type, TMapSession& session)
{
    expectMapFile(fileName);
    const TMapLoadResult r = session.LoadMap(fileName, type);
    if (!r.Ok())
        cannotRead(fileName, type, r);
    return r;
}

void noteTruncation(const TMapLoadResult& r, const QString& fileName, QTextStream& out)
{
    if (r.Truncated)
        out << "note: the cell data of " << OneLine(fileName)
            << " ends early; the missing cells are part 0\n";
}

void expectWritten(const TFileWriteResult& written, const QString& what)
{
    if (!written)
        failure(QStringLiteral("cannot write %1%2: %3").arg(what, written.FileName, written.Error));
}

void saveMap(TMapSession& session, const QString& fileName, TMapFileType type,
             const QStringList& inputs)
{
    const TSessionResult saved = session.SaveMap(fileName, type, inputs);
    if (!saved)
        failure(QStringLiteral("cannot write map %1: %2").arg(fileName, saved.Error));
}

} // namespace cli
