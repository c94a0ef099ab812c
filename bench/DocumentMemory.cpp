// Peak memory of a 9999 x 9999 document above the process's baseline, with every store
// in use: a fill (snapshot), a random placement, an undo and a group capture.

#include "MapDocument.h"

#include <cstdio>
#include <sys/resource.h>

namespace {

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // ru_maxrss is in kilobytes
}

} // namespace

int main()
{
    const double before = peakMegabytes();
    {
        TMapDocument doc;
        doc.NewMap(TMapDocument::MaxMapSize, TMapDocument::MaxMapSize);
        const int last = TMapDocument::MaxMapSize - 1;
        doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(gx + gy); });
        doc.StampGroup({0, 0, last, last});
        doc.ScatterGroup({0, 0, last, last});
        doc.Undo();
        doc.CaptureGroup({0, 0, last, last});
    }
    const double after = peakMegabytes();
    const double limit = 3.2 * 100.0;
    std::printf("peak memory above baseline: %.1f MB (target at most %.0f MB) %s\n", after - before,
                limit, after - before <= limit ? "ok" : "MISSED");
    return 0;
}
