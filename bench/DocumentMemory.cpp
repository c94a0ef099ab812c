// Peak memory of a 9999 x 9999 document above the process's baseline, with every store
// in use: a fill, a random placement, an undo and a group capture, each whole-map change
// kept in the undo history. Then the history a thousand small stamps cost.

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
    const int last = TMapDocument::MaxMapSize - 1;
    const double before = peakMegabytes();
    {
        TMapDocument doc;
        doc.NewMap(TMapDocument::MaxMapSize, TMapDocument::MaxMapSize);
        doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(gx + gy); });
        doc.StampGroup({0, 0, last, last});
        doc.ScatterGroup({0, 0, last, last});
        doc.Undo();
        doc.Redo();
        doc.StampGroup({0, 0, last, last}); // the history is full: the oldest step goes
        doc.CaptureGroup({0, 0, last, last});
    }
    const double after = peakMegabytes();
    // The map, the group store (each about 100 MB) and at most the history's budget.
    const double cells = double(TMapDocument::MaxMapSize) * TMapDocument::MaxMapSize / (1 << 20);
    const double limit = 2.1 * cells + double(TUndoHistory::DefaultBudget) / (1 << 20);
    std::printf("peak memory above baseline: %.1f MB (target at most %.0f MB) %s\n", after - before,
                limit, after - before <= limit ? "ok" : "MISSED");

    TMapDocument doc;
    doc.NewMap(TMapDocument::MaxMapSize, TMapDocument::MaxMapSize);
    doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
    for (int i = 0; i < 1000; ++i) {
        const int x = (i * 37) % (last - 2);
        const int y = (i * 101) % (last - 1);
        doc.StampGroup({x, y, x + 2, y + 1});
    }
    const double kb = double(doc.History().Bytes()) / 1024.0;
    std::printf("history of 1000 stamps of a 3 x 2 group: %d steps, %.1f KB (target under "
                "1024 KB) %s\n",
                doc.History().UndoCount(), kb, kb < 1024.0 ? "ok" : "MISSED");
    return 0;
}
