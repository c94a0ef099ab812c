#pragma once

// Helpers for the plug-in tests: the scripts the test plug-in runs, bitmap blocks, folders of
// plug-ins, and the plug-ins' call log.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace spitest {

inline QString builtPlugin(const QString& name)
{
    return QStringLiteral(QM_TEST_SPI_DIR "/") + name + QStringLiteral(".spi");
}

// Copies a built plug-in into a folder, under its own name or another.
inline QString installPlugin(const QString& folder, const QString& name, QString as = {})
{
    if (as.isEmpty())
        as = name + QStringLiteral(".spi");
    const QString target = QDir(folder).filePath(as);
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(builtPlugin(name), target)) << qPrintable(target);
    return QFileInfo(target).canonicalFilePath();
}

inline void putLE(QByteArray& b, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

// A bitmap information block and its pixel rows.
struct Dib
{
    QByteArray Info;
    QByteArray Bits;
};

// A 40-byte header, then `colours` table entries (blue, green, red, 0).
inline QByteArray infoHeader(int32_t width, int32_t height, uint16_t depth, uint32_t used,
                             const QList<QRgb>& colours = {})
{
    QByteArray b;
    putLE(b, 40, 4);
    putLE(b, uint32_t(width), 4);
    putLE(b, uint32_t(height), 4);
    putLE(b, 1, 2);
    putLE(b, depth, 2);
    putLE(b, 0, 4); // compression
    putLE(b, 0, 4); // image size
    putLE(b, 0, 4); // x density
    putLE(b, 0, 4); // y density
    putLE(b, used, 4);
    putLE(b, 0, 4); // important colours
    for (QRgb c : colours) {
        b.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
    }
    return b;
}

inline int rowBytes(int width, int depth)
{
    return (width * depth + 31) / 32 * 4;
}

// What the test plug-in returns for its data.
struct Script
{
    uint32_t InfoResult = 0;
    uint32_t PictureResult = 0;
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    uint16_t XDensity = 0, YDensity = 0;
    int16_t Depth = 0;
    std::vector<std::pair<int32_t, int32_t>> Progress;
    QByteArray Text;
    Dib Picture;
    QByteArray Magic = QByteArrayLiteral("TPIC");

    QByteArray bytes() const
    {
        QByteArray b = Magic;
        putLE(b, InfoResult, 4);
        putLE(b, PictureResult, 4);
        putLE(b, uint32_t(Left), 4);
        putLE(b, uint32_t(Top), 4);
        putLE(b, uint32_t(Width), 4);
        putLE(b, uint32_t(Height), 4);
        putLE(b, XDensity, 2);
        putLE(b, YDensity, 2);
        putLE(b, uint16_t(Depth), 2);
        putLE(b, Progress.size(), 4);
        for (auto [num, denom] : Progress) {
            putLE(b, uint32_t(num), 4);
            putLE(b, uint32_t(denom), 4);
        }
        putLE(b, uint32_t(Text.size()), 4);
        b.append(Text);
        putLE(b, uint32_t(Picture.Info.size()), 4);
        putLE(b, uint32_t(Picture.Bits.size()), 4);
        b.append(Picture.Info).append(Picture.Bits);
        return b;
    }
};

// A 24-bit picture of w x h whose pixel (x, y) is colourAt(x, y), bottom-up.
inline QRgb colourAt(int x, int y)
{
    return qRgb((x * 40 + 7) & 0xff, (y * 60 + 3) & 0xff, (x * y * 13 + 90) & 0xff);
}

inline Dib dib24(int w, int h)
{
    Dib d{infoHeader(w, h, 24, 0), QByteArray(rowBytes(w, 24) * h, '\0')};
    for (int y = 0; y < h; ++y) {
        char* row = d.Bits.data() + (h - 1 - y) * rowBytes(w, 24);
        for (int x = 0; x < w; ++x) {
            const QRgb c = colourAt(x, y);
            row[3 * x] = char(qBlue(c));
            row[3 * x + 1] = char(qGreen(c));
            row[3 * x + 2] = char(qRed(c));
        }
    }
    return d;
}

inline void writeFile(const QString& fileName, const QByteArray& bytes)
{
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A plain BMP file of a small 24-bit picture, as Qt writes it.
inline QByteArray bmpFile(int w = 3, int h = 2)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, colourAt(x, y));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

// One line of the plug-ins' call log.
struct LogLine
{
    QString Call; // IS, INFO, PIC, PROG
    QString Plugin;
    QStringList Args;
};

// The call log the test plug-ins write while a test runs (QM_TP_LOG).
class CallLog
{
public:
    CallLog()
    {
        FFile = FDir.filePath(QStringLiteral("calls.log"));
        qputenv("QM_TP_LOG", QFile::encodeName(FFile));
    }
    ~CallLog() { qunsetenv("QM_TP_LOG"); }

    std::vector<LogLine> lines() const
    {
        std::vector<LogLine> result;
        QFile f(FFile);
        if (!f.open(QIODevice::ReadOnly))
            return result;
        for (const QByteArray& raw : f.readAll().split('\n')) {
            if (raw.isEmpty())
                continue;
            QString text = QString::fromLocal8Bit(raw);
            LogLine line;
            if (text.startsWith(QStringLiteral("IS "))) {
                // IS name [file name] address head
                const qsizetype open = text.indexOf(QLatin1Char('['));
                const qsizetype close = text.lastIndexOf(QLatin1Char(']'));
                line.Call = QStringLiteral("IS");
                line.Plugin = text.mid(3, open - 4);
                line.Args << text.mid(open + 1, close - open - 1);
                line.Args << text.mid(close + 2).split(QLatin1Char(' '));
            } else {
                QStringList parts = text.split(QLatin1Char(' '));
                line.Call = parts.takeFirst();
                line.Plugin = parts.takeFirst();
                line.Args = parts;
            }
            result.push_back(line);
        }
        return result;
    }

    // The calls, as "IS tp_in", "PIC tp_in", ...
    QStringList calls() const
    {
        QStringList result;
        for (const LogLine& l : lines())
            result << l.Call + QLatin1Char(' ') + l.Plugin;
        return result;
    }

    void clear() const { QFile::remove(FFile); }

private:
    QTemporaryDir FDir;
    QString FFile;
};

// Points the Susie viewer's settings at a folder of the test's own (or at none).
class SusieSettings
{
public:
    SusieSettings()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
    }
    void setPath(const QVariant& value)
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Sorapiko"),
                    QStringLiteral("Susie"));
        s.setValue(QStringLiteral("Plug-in/Path"), value);
        s.sync();
    }
    void clear()
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Sorapiko"),
                    QStringLiteral("Susie"));
        s.clear();
        s.sync();
    }

private:
    QTemporaryDir FDir;
};

} // namespace spitest
