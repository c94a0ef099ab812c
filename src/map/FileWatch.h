#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

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
    // What tells one state of the file from another.
    struct TStamp
    {
        bool Exists = false;
        uint64_t Device = 0;
        uint64_t Inode = 0;
        int64_t Size = 0;
        int64_t ModifiedNs = 0;
        int64_t ChangedNs = 0;
        bool operator==(const TStamp&) const = default;
    };
    TStamp stamp() const;
    void noticed();
    void settle();
    // Puts the watch on the file now under the name, and on its folder.
    void follow(const TStamp& now);

    QFileSystemWatcher FWatcher;
    QTimer FSettle;
    QString FFileName;
    TStamp FKnown;   // the state last reported or acknowledged
    TStamp FLast;    // the state at the last event
    TStamp FWatched; // the file the watch is on
};
