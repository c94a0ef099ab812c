#pragma once

#include "FileStamp.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Watches one file for changes made by other programs, whichever way they save: writing in
// place, writing a new file and renaming it over the old one, copying over it, or deleting
// it and making it anew. The file and its folder are both watched, and the watch follows
// the name, not the file it named before.
//
// Events are gathered until the file has stopped changing (its size and times the same
// for SettleMs), then acted on once: `changed` when its contents are new (a file that
// reappears included), `removed` when nothing is under the name any more. A state the
// program knows of (Acknowledge, after its own save or load) is not reported.
class TFileWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int SettleMs = 200;

    explicit TFileWatch(QObject* parent = nullptr);

    // Watches this file from now on, as it is now (empty: none).
    void Watch(const QString& fileName);
    QString FileName() const { return FFileName; }
    // The file as it is now is the program's own: what happened to it so far is not
    // reported.
    void Acknowledge();

signals:
    void changed(const QString& fileName);
    void removed(const QString& fileName);

private:
    TFileStamp stamp() const { return TFileStamp::Of(FFileName); }
    void noticed();
    void settle();
    // Puts the watch on the file now under the name, and on its folder.
    void follow(const TFileStamp& now);

    QFileSystemWatcher FWatcher;
    QTimer FSettle;
    QString FFileName;
    TFileStamp FKnown;   // the state last reported or acknowledged
    TFileStamp FLast;    // the state at the last event
    TFileStamp FWatched; // the file the watch is on
};
