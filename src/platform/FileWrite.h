#pragma once

#include <QString>
#include <functional>

class QIODevice;

// What became of a file write: done, or the reason it was not.
struct TFileWriteResult
{
    bool Ok = false;
    QString Error; // empty when Ok

    explicit operator bool() const { return Ok; }
};

// Writes a whole file or nothing. `body` writes the contents into a temporary file beside
// the target and returns whether it succeeded. The target is replaced only when the body
// succeeded and every byte reached the disk: the last buffered bytes written and checked,
// the file synced and checked, then renamed into place. On any failure, a full disk
// included, the target is exactly as it was and no temporary file is left behind.
//
// Every file the program writes goes through here.
TFileWriteResult WriteFileWhole(const QString& fileName,
                                const std::function<bool(QIODevice&)>& body);

// The same for contents already in memory.
TFileWriteResult WriteFileWhole(const QString& fileName, const QByteArray& contents);
