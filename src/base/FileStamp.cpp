#include "FileStamp.h"

#include <QFile>
#include <sys/stat.h>

TFileStamp TFileStamp::Of(const QString& fileName)
{
    struct stat st
    {
    };
    if (fileName.isEmpty() || ::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return {};
    const auto ns = [](const timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return {true,          uint64_t(st.st_dev), uint64_t(st.st_ino), uint32_t(st.st_mode),
            st.st_size,    ns(st.st_mtim),      ns(st.st_ctim)};
}
