#pragma once

// What the commands of quiltmapper-cli share: their errors, the picture readers, the quiet
// stderr, and the map read and written through a session. Internal to the tool.

#include "CliParse.h"
#include "FileWrite.h"
#include "MapFile.h"
#include "MapSession.h"
#include "PictureFormats.h"

#include <QString>
#include <QStringList>
#include <memory>

class QTextStream;
class TSPIs;

namespace cli {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

struct CliError
{
    int Code;
    QString Message;
};

[[noreturn]] inline void usageError(const QString& message)
{
    throw CliError{ExitUsage, message + QStringLiteral(" (see --help)")};
}

[[noreturn]] inline void failure(const QString& message)
{
    throw CliError{ExitFailed, message};
}

// The folder --plugins names for this run, or empty.
extern QString extraPluginFolder;

// The picture formats the editor reads: Qt's own, and those of the picture plug-ins found
// where the editor finds them, plus the folder of --plugins.
class PictureReaders
{
public:
    PictureReaders();
    ~PictureReaders();
    const TPictureFormats& formats() const { return FFormats; }

private:
    TPictureFormats FFormats;
    std::unique_ptr<TSPIs> FManager;
};

// Silences the process's stderr (file descriptor 2) while it lives. Image libraries such
// as libpng print their own lines there, but the tool promises exactly one line per error.
class QuietStderr
{
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int FSaved = -1;
};

using PartSize = TCliPartSize;

// The map a command works on: a session that keeps the part size the map is made for but
// no part pictures, which at the largest part size would take 2 GB.
struct MapWork
{
    MapWork();
    TPictureFormats Formats;
    TMapSession Session;
    TMapDocument& Doc() { return Session.Document(); }
};

// The header alone, so that sizes can be checked before the cells take any memory.
TMapHeader readHeader(const QString& fileName, TMapFileType type);
// Loads the map into the session, or fails with one line.
TMapLoadResult loadMap(const QString& fileName, TMapFileType type, TMapSession& session);
void noteTruncation(const TMapLoadResult& r, const QString& fileName, QTextStream& out);
// One line naming the file that could not be written and why.
void expectWritten(const TFileWriteResult& written, const QString& what = QString());
// Writes the session's map, never over one of `inputs`.
void saveMap(TMapSession& session, const QString& fileName, TMapFileType type,
             const QStringList& inputs = {});

int cmdRender(const TCliCommand& a, QTextStream& out);
int cmdExport(const TCliCommand& a, QTextStream& out);
int cmdImport(const TCliCommand& a, QTextStream& out);
int cmdAutotile(const TCliCommand& a, QTextStream& out);

} // namespace cli
