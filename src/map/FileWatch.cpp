#include "FileWatch.h"

#include <QFile>
#include <QFileInfo>

TFileWatch::TFileWatch(QObject* parent) : QObject(parent)
{
    FSettle.setSingleShot(true);
    FSettle.setInterval(SettleMs);
    connect(&FSettle, &QTimer::timeout, this, &TFileWatch::settle);
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, &TFileWatch::noticed);
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, &TFileWatch::noticed);
}

void TFileWatch::Watch(const QString& fileName)
{
    const QString name = fileName.isEmpty() ? QString() : QFileInfo(fileName).absoluteFilePath();
    if (name == FFileName) {
        Acknowledge();
        return;
    }
    if (!FWatcher.files().isEmpty())
        FWatcher.removePaths(FWatcher.files());
    if (!FWatcher.directories().isEmpty())
        FWatcher.removePaths(FWatcher.directories());
    FSettle.stop();
    FWatched = {};
    FFileName = name;
    if (name.isEmpty())
        return;
    const QString folder = QFileInfo(name).absolutePath();
    if (QFileInfo(folder).isDir())
        FWatcher.addPath(folder);
    Acknowledge();
}

void TFileWatch::Acknowledge()
{
    if (FFileName.isEmpty())
        return;
    FKnown = FLast = stamp();
    follow(FKnown);
}

void TFileWatch::follow(const TFileStamp& now)
{
    // A rename over the file or a new file leaves the old watch on a file that no longer
    // has the name.
    const bool sameFile = now.Exists && FWatched.Exists && now.Device == FWatched.Device &&
                          now.Inode == FWatched.Inode;
    if (sameFile && FWatcher.files().contains(FFileName))
        return;
    if (FWatcher.files().contains(FFileName))
        FWatcher.removePath(FFileName);
    FWatched = {};
    if (now.Exists && FWatcher.addPath(FFileName))
        FWatched = now;
}

void TFileWatch::noticed()
{
    if (FFileName.isEmpty())
        return;
    const TFileStamp now = stamp();
    follow(now);
    // Another file of the folder changed: the wait for this one goes on undisturbed, or a
    // busy folder would put it off for ever.
    if (now == FLast && (FSettle.isActive() || now == FKnown))
        return;
    FLast = now;
    FSettle.start();
}

void TFileWatch::settle()
{
    const TFileStamp now = stamp();
    follow(now);
    if (now != FLast) {
        // Still being written: wait until it rests.
        FLast = now;
        FSettle.start();
        return;
    }
    if (now == FKnown)
        return;
    const bool wasThere = FKnown.Exists;
    FKnown = now;
    if (now.Exists)
        emit changed(FFileName);
    else if (wasThere)
        emit removed(FFileName);
}
