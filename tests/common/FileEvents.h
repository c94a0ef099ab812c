#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <climits>
#include <sys/inotify.h>
#include <unistd.h>

// Counts, through inotify, how often one file of a folder is opened and how often another
// file is renamed onto it (a whole-file replace), from construction or the last Take on.
// Stat calls are not counted.
class TFileEvents
{
public:
    struct TCounts
    {
        int Opens = 0;
        int Replaces = 0;
    };

    TFileEvents(const QString& dir, const QString& name)
        : FFd(inotify_init1(IN_NONBLOCK)), FName(QFile::encodeName(name))
    {
        if (FFd >= 0)
            // The closes are watched only so that opens in a row are not merged into one
            // event, as inotify does with identical events queued one after another.
            inotify_add_watch(FFd, QFile::encodeName(dir).constData(),
                              IN_OPEN | IN_CLOSE | IN_MOVED_TO);
    }
    ~TFileEvents()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileEvents(const TFileEvents&) = delete;
    TFileEvents& operator=(const TFileEvents&) = delete;

    bool IsValid() const { return FFd >= 0; }

    // The events since the last call; a lost event counts as very many.
    TCounts Take()
    {
        TCounts counts;
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t got = ::read(FFd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_Q_OVERFLOW)
                    counts = {INT_MAX / 2, INT_MAX / 2};
                else if (event->len > 0 && FName == event->name && (event->mask & IN_OPEN))
                    ++counts.Opens;
                else if (event->len > 0 && FName == event->name && (event->mask & IN_MOVED_TO))
                    ++counts.Replaces;
                at += ssize_t(sizeof(inotify_event)) + event->len;
            }
        }
        return counts;
    }

private:
    int FFd;
    QByteArray FName;
};
