#pragma once

#include <QString>
#include <cstdint>

// What tells one state of a file on disk from another: a write in place changes its size or
// times, a rename over it its inode. Symbolic links are followed; a file that cannot be
// looked at counts as missing.
struct TFileStamp
{
    bool Exists = false;
    uint64_t Device = 0;
    uint64_t Inode = 0;
    uint32_t Mode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    int64_t ChangedNs = 0;

    static TFileStamp Of(const QString& fileName);
    bool operator==(const TFileStamp&) const = default;
};
