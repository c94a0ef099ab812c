#pragma once

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

// Sees whether anyone opens a FIFO to read it: now and then it opens the FIFO for writing
// without blocking, which succeeds only while a reader has it open (and then also ends that
// reader's wait, so a test that would hang fails instead).
class TFifoWatch
{
public:
    explicit TFifoWatch(QByteArray path) : FPath(std::move(path)), FThread([this] { watch(); }) {}
    ~TFifoWatch() { Stop(); }

    // Ends the watch; true when a reader had the FIFO open meanwhile.
    bool Stop()
    {
        FDone = true;
        if (FThread.joinable())
            FThread.join();
        return FSeenReader;
    }

private:
    void watch()
    {
        while (!FDone) {
            const int fd = ::open(FPath.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                FSeenReader = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    QByteArray FPath;
    std::atomic<bool> FDone = false;
    std::atomic<bool> FSeenReader = false;
    std::thread FThread;
};
