#pragma once

// Runs a piece of work in a child process and reports its peak memory, so that a test can
// bound what a load or a render costs without the test process itself paying for it (or
// dying of it). POSIX only.

#include <QtGlobal>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// AddressSanitizer keeps freed blocks in its quarantine (256 MB by default) and adds shadow
// memory, so a peak measured in that build may pass a tight bound by that much.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 SanitizerPeakSlack = qint64(320) << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr qint64 SanitizerPeakSlack = qint64(320) << 20;
#else
constexpr qint64 SanitizerPeakSlack = 0;
#endif
#else
constexpr qint64 SanitizerPeakSlack = 0;
#endif

struct TChildPeak
{
    bool Finished = false; // the child ran the work to its end and reported
    int Result = -1;       // what the work returned
    qint64 PeakBytes = 0;  // the child's largest resident set
};

// `work` runs after fork() in a child with only the calling thread; it should use only what
// the parent has already set up or plain model code. Its return value comes back as Result.
inline TChildPeak RunInChild(const std::function<int()>& work)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return {};
    }
    if (pid == 0) {
        close(fds[0]);
        // The child's peak starts from what it holds now, not from the parent's peak.
        if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", refs);
            std::fclose(refs);
        }
        qint64 report[2] = {work(), 0};
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        report[1] = qint64(usage.ru_maxrss) * 1024;
        [[maybe_unused]] const ssize_t n = write(fds[1], report, sizeof report);
        _exit(0);
    }
    close(fds[1]);
    qint64 report[2] = {};
    ssize_t got = 0;
    while (got < ssize_t(sizeof report)) {
        const ssize_t n = read(fds[0], reinterpret_cast<char*>(report) + got, sizeof report - got);
        if (n <= 0)
            break;
        got += n;
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    TChildPeak peak;
    peak.Finished = got == ssize_t(sizeof report) && WIFEXITED(status);
    peak.Result = int(report[0]);
    peak.PeakBytes = report[1];
    return peak;
}
