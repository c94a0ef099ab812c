#pragma once

#include <QString>
#include <QStringList>

// Where the parts picture of a map is proposed, and which names belong to maps: a parts
// picture is never written under a map's name.

// NAME-parts.png in the folder of the file NAME.
QString PartsPictureBesideMap(const QString& mapFileName);

// Whether the name is a map's: the map's own file (`mapFileName`, may be empty), or one of
// the map file extensions (.mpd, .tmx and `mapExtensions`), in any case.
bool IsMapFileName(const QString& fileName, const QStringList& mapExtensions,
                   const QString& mapFileName);

// The name with the extension .bmp in place of its own.
QString WithBmpSuffix(const QString& fileName);
