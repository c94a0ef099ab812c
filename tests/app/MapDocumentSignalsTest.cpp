#include "MapDocument.h"
#include "MapFile.h"

#include <QBuffer>
#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Everything a document announced, in the order of its kind.
struct Announced
{
    std::vector<TCellRect> Cells;
    int Replaced = 0;
    int Group = 0;
    std::vector<bool> Modified;
    std::vector<bool> Undo;
    std::vector<bool> Redo;

    bool operator==(const Announced&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Announced& a)
{
    os << "cells";
    for (const TCellRect& r : a.Cells)
        os << " {" << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << "}";
    os << "; replaced " << a.Replaced << "; group " << a.Group << "; modified";
    for (bool b : a.Modified)
        os << " " << b;
    os << "; undo";
    for (bool b : a.Undo)
        os << " " << b;
    os << "; redo";
    for (bool b : a.Redo)
        os << " " << b;
    return os;
}

// Watches every signal of a document while a change runs.
Announced announcedBy(TMapDocument& doc, const std::function<void(TMapDocument&)>& change)
{
    QSignalSpy cells(&doc, &TMapDocument::cellsChanged);
    QSignalSpy replaced(&doc, &TMapDocument::mapReplaced);
    QSignalSpy group(&doc, &TMapDocument::groupPartChanged);
    QSignalSpy modified(&doc, &TMapDocument::modifiedChanged);
    QSignalSpy undo(&doc, &TMapDocument::undoAvailableChanged);
    QSignalSpy redo(&doc, &TMapDocument::redoAvailableChanged);
    change(doc);
    Announced a;
    for (const QList<QVariant>& args : cells)
        a.Cells.push_back(args.at(0).value<TCellRect>());
    a.Replaced = int(replaced.count());
    a.Group = int(group.count());
    for (const QList<QVariant>& args : modified)
        a.Modified.push_back(args.at(0).toBool());
    for (const QList<QVariant>& args : undo)
        a.Undo.push_back(args.at(0).toBool());
    for (const QList<QVariant>& args : redo)
        a.Redo.push_back(args.at(0).toBool());
    return a;
}

QByteArray type1File(int w, int h, int cellBytes)
{
    QByteArray data;
    data.append(char(w)).append(char(0)).append(char(h)).append(char(0));
    for (int i = 0; i < cellBytes; ++i)
        data.append(char(i + 1));
    return data;
}

void load(TMapDocument& doc, QByteArray data)
{
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    ASSERT_TRUE(ReadMapData(buffer, TMapFileType::Type1, doc).Ok());
}

TEST(MapDocumentSignals, EachChangeAnnouncesWhatItTouchedOnce)
{
    using Doc = TMapDocument;
    const auto nothing = [](Doc&) {};
    const auto group3x2 = [](Doc& d) {
        d.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
    };
    const auto stamped = [&](Doc& d) {
        group3x2(d);
        d.StampGroup({2, 2, 5, 4});
    };
    struct Case
    {
        const char* What;
        std::function<void(Doc&)> Before; // not watched
        std::function<void(Doc&)> Change;
        Announced Expected;
    };
    const auto undone = [&](Doc& d) {
        stamped(d);
        d.Undo();
    };
    const auto saved = [&](Doc& d) {
        stamped(d);
        d.SetMapModified(false);
    };
    const auto cell4 = [](Doc& d) { d.SetCell(0, 0, 4); };
    // clang-format off
    const std::vector<Case> cases = {
        {"stamp", group3x2, [](Doc& d) { d.StampGroup({1, 1, 3, 2}); },
         {{{1, 1, 3, 2}}, 0, 0, {true}, {true}, {}}},
        {"stamp, corners reversed", group3x2, [](Doc& d) { d.StampGroup({3, 2, 1, 1}); },
         {{{1, 1, 3, 2}}, 0, 0, {true}, {true}, {}}},
        {"stamp of one cell on a modified map", stamped, [](Doc& d) { d.StampGroup({9, 9, 9, 9}); },
         {{{9, 9, 9, 9}}, 0, 0, {}, {}, {}}},
        {"stamp after an undo", undone, [](Doc& d) { d.StampGroup({9, 9, 9, 9}); },
         {{{9, 9, 9, 9}}, 0, 0, {}, {true}, {false}}},
        {"scatter", group3x2, [](Doc& d) { d.ScatterGroup({0, 5, 9, 6}, 3); },
         {{{0, 5, 9, 6}}, 0, 0, {true}, {true}, {}}},
        {"fill leaves the modified flag", nothing, [](Doc& d) { d.FillMapRect({4, 3, 1, 1}, 9); },
         {{{1, 1, 4, 3}}, 0, 0, {}, {true}, {}}},
        {"replace", stamped, [](Doc& d) { d.ReplaceParts({0, 0, 9, 9}, 1, 7); },
         {{{0, 0, 9, 9}}, 0, 0, {}, {}, {}}},
        {"replace of an absent part", stamped, [](Doc& d) { d.ReplaceParts({0, 0, 9, 9}, 9, 7); },
         {}},
        {"replace of a part by itself", stamped, [](Doc& d) { d.ReplaceParts({0, 0, 9, 9}, 1, 1); },
         {}},
        {"exchange", stamped, [](Doc& d) { d.ExchangePartsInRect({2, 2, 3, 3}, 1, 2); },
         {{{2, 2, 3, 3}}, 0, 0, {}, {}, {}}},
        {"exchange on a clean map", cell4,
         [](Doc& d) { d.ExchangePartsInRect({0, 0, 9, 9}, 4, 5); },
         {{{0, 0, 9, 9}}, 0, 0, {true}, {true}, {}}},
        {"exchange of a part with itself only marks modified", cell4,
         [](Doc& d) { d.ExchangePartsInRect({0, 0, 9, 9}, 4, 4); },
         {{}, 0, 0, {true}, {}, {}}},
        {"exchange of absent parts", nothing,
         [](Doc& d) { d.ExchangePartsInRect({0, 0, 9, 9}, 4, 5); },
         {}},
        {"undo back to the new map's cells keeps the map modified", stamped, [](Doc& d) { d.Undo(); },
         {{{2, 2, 5, 4}}, 0, 0, {}, {false}, {true}}},
        {"undo away from the saved map", saved, [](Doc& d) { d.Undo(); },
         {{{2, 2, 5, 4}}, 0, 0, {true}, {false}, {true}}},
        {"undo with nothing to undo", nothing, [](Doc& d) { d.Undo(); },
         {}},
        {"redo", undone, [](Doc& d) { d.Redo(); },
         {{{2, 2, 5, 4}}, 0, 0, {}, {true}, {false}}},
        {"redo with nothing to redo", stamped, [](Doc& d) { d.Redo(); },
         {}},
        // A document on its own ends the steps of its old map with it.
        {"new map", stamped, [](Doc& d) { d.NewMap(20, 30); },
         {{}, 1, 1, {false}, {false}, {}}},
        {"new map after an undo", undone, [](Doc& d) { d.NewMap(20, 30); },
         {{}, 1, 1, {false}, {}, {false}}},
        {"new map with a blank group of the same size", nothing, [](Doc& d) { d.NewMap(20, 30); },
         {{}, 1, 0, {}, {}, {}}},
        {"load", stamped, [](Doc& d) { load(d, type1File(3, 2, 6)); },
         {{}, 1, 1, {false}, {false}, {}}},
        {"load of cells that end early", nothing, [](Doc& d) { load(d, type1File(3, 2, 4)); },
         {{}, 1, 0, {}, {}, {}}},
        {"set group", nothing, group3x2,
         {{}, 0, 1, {}, {}, {}}},
        {"set the same group again", group3x2, group3x2,
         {}},
        {"set a single part", group3x2, [](Doc& d) { d.SetGroupSingle(0); },
         {{}, 0, 1, {}, {}, {}}},
        {"set the single part it holds", nothing, [](Doc& d) { d.SetGroupSingle(0); },
         {}},
        {"capture group", stamped, [](Doc& d) { d.CaptureGroup({2, 2, 3, 3}); },
         {{}, 0, 1, {}, {}, {}}},
        {"capture of what the group holds", stamped, [](Doc& d) { d.CaptureGroup({2, 2, 4, 3}); },
         {}},
        {"set cell", nothing, [](Doc& d) { d.SetCell(7, 8, 3); },
         {{{7, 8, 7, 8}}, 0, 0, {}, {}, {}}},
        {"set cell to its part", nothing, [](Doc& d) { d.SetCell(7, 8, 0); },
         {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        TMapDocument doc;
        doc.NewMap(10, 10);
        c.Before(doc);
        EXPECT_EQ(announcedBy(doc, c.Change), c.Expected) << c.What;
    }
}

TEST(MapDocumentSignals, ALoadAnnouncesTheMapOnlyOnceItHoldsTheFileCells)
{
    TMapDocument doc;
    std::vector<int> seen;
    QObject::connect(&doc, &TMapDocument::mapReplaced, [&] {
        seen.push_back(doc.MapWidth());
        for (uint8_t c : doc.MapCells())
            seen.push_back(c);
    });
    load(doc, type1File(2, 2, 3)); // the last cell is missing
    EXPECT_EQ(seen, (std::vector<int>{2, 1, 2, 3, 0}));
}

} // namespace
