#pragma once

#include <QByteArray>

// A settings file as a long use leaves it: the parts picture remembered for each of
// `maps` map files (about 170 bytes a map), between a few other sections.
inline QByteArray RememberedMapsIni(int maps, int gridLineWidth = 0)
{
    QByteArray text = "[options]\nisShowTitle=0\nLupe.Normal=24\n"
                      "[MainWindow]\nGridLineWidth=" +
                      QByteArray::number(gridLineWidth) +
                      "\n[MapPartsPictures]\nCount=" + QByteArray::number(maps) + '\n';
    for (int i = 1; i <= maps; ++i) {
        const QByteArray key = "Map" + QByteArray::number(i);
        const QByteArray n = QByteArray::number(i);
        text += key + "=/home/user/maps/level" + n + ".mpd\n" + key +
                ".Picture=/home/user/pictures/parts" + n + ".png\n" + key + ".PartWidth=16\n" +
                key + ".PartHeight=16\n" + key + ".Width=512\n" + key + ".Height=512\n";
    }
    return text + "[MapPicture]\nPngLevel=6\n";
}
