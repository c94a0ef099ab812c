#include "PartsStore.h"
#include "PartsTestSupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

// What one operation announced: the parts named one by one, how many times every part was
// announced, and whether new parts were made.
struct Announced
{
    QList<int> Parts;
    int All = 0;
    int Resized = 0;
    bool operator==(const Announced&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Announced& a)
{
    out << "parts {";
    for (int n : a.Parts)
        out << ' ' << n;
    return out << " } all " << a.All << " resized " << a.Resized;
}

// Each change of the parts is announced once, naming exactly the part it touched, or every
// part when it may have touched many; what changes no picture announces nothing.
TEST(PartsStoreSignals, EachChangeAnnouncesWhatItTouchedOnce)
{
    QTemporaryDir dir;
    const QString sheetFile = dir.filePath("sheet.bmp");
    ASSERT_TRUE(patternPicture(16 * 32, 16 * 32, 4).save(sheetFile, "BMP"));
    const QImage picture = patternPicture(40, 40, 1);

    struct Row
    {
        const char* Name;
        std::function<void(TPartsStore&)> Change;
        Announced Expected;
    };
    const Row rows[] = {
        {"capture", [&](TPartsStore& s) { s.CapturePart(37, picture, 3, 2); }, {{37}}},
        {"capture beside the source",
         [&](TPartsStore& s) { s.CapturePart(37, picture, 40, 0); },
         {}},
        {"reset", [](TPartsStore& s) { s.ResetPart(200); }, {{200}}},
        {"new size", [](TPartsStore& s) { s.SetPartsSize(16, 24); }, {{}, 1, 1}},
        {"same size", [](TPartsStore& s) { s.SetPartsSize(32, 32); }, {{}, 1, 1}},
        {"slice", [&](TPartsStore& s) { s.SlicePartsPicture(picture); }, {{}, 1}},
        {"load", [&](TPartsStore& s) { s.LoadPartsPicture(sheetFile); }, {{}, 1}},
        {"failed load", [&](TPartsStore& s) { s.LoadPartsPicture(dir.filePath("none.bmp")); }, {}},
        {"copy", [](TPartsStore& s) { s.CopySelectedParts(0, 0, 3, 3); }, {}},
        {"paste over one part",
         [](TPartsStore& s) {
             s.CopySelectedParts(0, 0, 0, 0);
             s.PasteIntoSelection(5, 6, 5, 6);
         },
         {{6 * 16 + 5}}},
        {"paste over several",
         [](TPartsStore& s) {
             s.CopySelectedParts(0, 0, 0, 0);
             s.PasteIntoSelection(1, 1, 2, 1);
         },
         {{}, 1}},
        {"paste refused", [](TPartsStore& s) { s.PasteIntoSelection(3, 3, 2, 2); }, {}},
        {"delete one", [](TPartsStore& s) { s.DeleteSelectedParts(15, 15, 15, 15); }, {{255}}},
        {"delete several", [](TPartsStore& s) { s.DeleteSelectedParts(0, 0, 15, 0); }, {{}, 1}},
        {"modified flag", [](TPartsStore& s) { s.SetPartsModified(); }, {}},
        {"write", [&](TPartsStore& s) { s.WritePartsPicture(dir.filePath("out.bmp")); }, {}},
    };
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TPartsStore store(formats);
        QSignalSpy part(&store, &TPartsStore::partChanged);
        QSignalSpy all(&store, &TPartsStore::allPartsChanged);
        QSignalSpy resized(&store, &TPartsStore::partsResized);
        row.Change(store);
        Announced got;
        for (const QList<QVariant>& args : part)
            got.Parts << args.at(0).toInt();
        got.All = int(all.count());
        got.Resized = int(resized.count());
        EXPECT_EQ(got, row.Expected);
    }
}

} // namespace
