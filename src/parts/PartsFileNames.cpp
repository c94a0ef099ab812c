#include "PartsFileNames.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

QString PartsPictureBesideMap(const QString& mapFileName)
{
    const QFileInfo info(mapFileName);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-parts.png"));
}

bool IsMapFileName(const QString& fileName, const QStringList& mapExtensions,
                   const QString& mapFileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    QStringList extensions{QStringLiteral("mpd"), QStringLiteral("tmx")};
    extensions << mapExtensions;
    const bool mapExtension = std::any_of(extensions.begin(), extensions.end(), [&](auto& e) {
        return !e.isEmpty() && suffix.compare(e, Qt::CaseInsensitive) == 0;
    });
    return mapExtension ||
           (!mapFileName.isEmpty() && QFileInfo(mapFileName) == QFileInfo(fileName));
}

QString WithBmpSuffix(const QString& fileName)
{
    const QFileInfo info(fileName);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".bmp"));
}
