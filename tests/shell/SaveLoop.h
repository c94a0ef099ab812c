#pragma once

// The saves that the crash tests interrupt: each kind writes one of two versions of a file
// through the program's own save, so that a test can tell the old file, the new one and
// anything in between apart.

#include "IniFile.h"
#include "MapDocument.h"
#include "MapFile.h"
#include "PartsStore.h"
#include "PictureFormats.h"

#include <QImage>
#include <QString>
#include <QStringList>

// The kinds of save, each named by what it writes.
inline QStringList SaveLoopKinds()
{
    return {QStringLiteral("map1"), QStringLiteral("map2"), QStringLiteral("parts.bmp"),
            QStringLiteral("parts.png"), QStringLiteral("ini")};
}

// The name the kind's file has in a folder.
inline QString SaveLoopFileName(const QString& kind)
{
    if (kind.startsWith(u"map"))
        return QStringLiteral("loop.mpd");
    if (kind == u"ini")
        return QStringLiteral("Quiltmapper.ini");
    return QStringLiteral("loop.") + kind.section(QLatin1Char('.'), 1);
}

// What an INI file holds before the loop adds its value: other sections and keys that a
// save must keep byte for byte.
inline QByteArray SaveLoopIniBase()
{
    QByteArray base;
    for (int section = 0; section < 100; ++section) {
        base += "[Section" + QByteArray::number(section) + "]\n";
        for (int key = 0; key < 60; ++key)
            base += "Key" + QByteArray::number(key) + "=value " +
                    QByteArray::number(section * 1000 + key) + "\n";
    }
    return base;
}

// Writes version 0 or 1 of the kind's file; false when the save failed. An INI file must
// already hold SaveLoopIniBase() (or either version).
inline bool SaveLoopVersion(const QString& kind, const QString& fileName, int version)
{
    if (kind.startsWith(u"map")) {
        TMapDocument doc;
        const int w = version ? 520 : 700, h = version ? 640 : 500;
        doc.NewMap(w, h);
        auto cells = doc.MapCells();
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i] = uint8_t(i * 7 + i / 13 + version * 101);
        return SaveMapFile(fileName, doc,
                           kind == u"map1" ? TMapFileType::Type1 : TMapFileType::Type2, 32, 32);
    }
    if (kind == u"ini") {
        TIniFile ini(fileName);
        return ini.WriteString(QStringLiteral("Loop"), QStringLiteral("Value"),
                               QString(version ? 1500 : 2000, version ? u'B' : u'A'));
    }
    const TPictureFormats formats;
    TPartsStore parts(formats);
    parts.SetPartsSize(16, 16);
    QImage sheet(256, 256, QImage::Format_RGB32);
    quint32 v = 12345u + quint32(version);
    for (int y = 0; y < sheet.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(sheet.scanLine(y));
        for (int x = 0; x < sheet.width(); ++x) {
            v = v * 1664525u + 1013904223u;
            line[x] = 0xff000000u | (v >> 8);
        }
    }
    parts.SlicePartsPicture(sheet);
    try {
        parts.WritePartsPicture(fileName);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
