#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QIODevice;
class QByteArray;

// What became of a file write: done, or the reason it was not.
struct TFileWriteResult
{
    bool Ok = false;
    QString Error;          // empty when Ok
    QString FileName;       // the file that could not be written, as it was given; empty when Ok
    bool Cancelled = false; // the operation stopped because its progress said so

    explicit operator bool() const { return Ok; }

    // The result of an operation on `fileName` that its progress told to stop.
    static TFileWriteResult Stopped(const QString& fileName);
};

// The files one operation writes, written as a unit, and the files it reads.
//
// Before anything is written, it refuses an output that exists but is not a regular file
// (a device, a FIFO, a socket, a folder; symlinks are followed to see what they name), an
// output that is one of the inputs, and two outputs that are one file (the same device and
// inode; for files not there yet, the same absolute name).
//
// Then each output is written to a temporary file beside it: the body writes the contents,
// the last buffered bytes are written and checked, the file is synced and checked. Only
// when every output is complete are they renamed into place, in the order they were added:
// add the main file (the map) last. On any failure, a full disk included, every target is
// exactly as it was and no temporary file is left behind. A symlink output stays a symlink:
// the file it names is replaced. A replaced file keeps its permissions.
class TFileWriteSet
{
public:
    using TBody = std::function<bool(QIODevice&)>;

    // A file the operation reads; a name that does not exist is ignored.
    void AddInput(const QString& fileName);
    void AddInputs(const QStringList& fileNames);
    void AddOutput(const QString& fileName, TBody body);
    void AddOutput(const QString& fileName, const QByteArray& contents);

    // The refusals alone: nothing is written.
    TFileWriteResult Check() const;
    // Checks, then writes every output. Run once.
    TFileWriteResult Write();

private:
    struct TOutput
    {
        QString FileName;
        TBody Body;
    };
    QStringList FInputs;
    std::vector<TOutput> FOutputs;
};

// The reason a write gives when its body returned false and the file itself had no error:
// callers that know better put their own reason in its place.
QString FileContentsNotMade();

// Writes a whole file or nothing: a set of one output and no inputs. `body` writes the
// contents into a temporary file beside the target and returns whether it succeeded.
//
// Every file the program writes goes through here or through a TFileWriteSet.
TFileWriteResult WriteFileWhole(const QString& fileName,
                                const std::function<bool(QIODevice&)>& body);

// The same for contents already in memory.
TFileWriteResult WriteFileWhole(const QString& fileName, const QByteArray& contents);
