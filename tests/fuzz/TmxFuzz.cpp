// The TMX importer against arbitrary bytes. Built with clang as a libFuzzer target; built
// with QM_FUZZ_REPLAY as a plain program that runs every file of the corpus folders given
// on its command line, so that the corpus is checked with any compiler on every test run.

#include "TmxFile.h"

#include <QBuffer>
#include <QByteArray>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TTmxImport result;
    QString error;
    // No folder: the map may not reach for other files.
    ReadTmxData(buffer, QString(), 0, result, &error);
    return 0;
}

#ifdef QM_FUZZ_REPLAY

#include <QDir>
#include <QFile>
#include <QFileInfo>

int main(int argc, char** argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo arg(QString::fromLocal8Bit(argv[i]));
        const QFileInfoList files =
            arg.isDir() ? QDir(arg.filePath()).entryInfoList(QDir::Files, QDir::Name)
                        : QFileInfoList{arg};
        for (const QFileInfo& file : files) {
            QFile f(file.filePath());
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file.filePath()));
                return 1;
            }
            const QByteArray data = f.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()),
                                   size_t(data.size()));
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    // An empty corpus would pass without testing anything.
    return replayed > 0 ? 0 : 1;
}

#endif
