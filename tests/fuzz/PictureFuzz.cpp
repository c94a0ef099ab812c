// Loading a parts picture through the picture-format registry, as the parts window does,
// against arbitrary files. The first byte picks the extension (so the decoder: BMP, PNG,
// GIF, JPEG and Qt's other readers), the next two the part size; the rest is the file.
// A load either fails and leaves the parts as they were, or puts the picture's top-left
// sheet into the parts: each part whose top-left corner lies in the picture shows the
// picture's colours, white beyond its edge; the others keep theirs.
//
// Each decoder gets four sheets' worth of memory for a picture, without the parts store's
// floor of 512 MB: the refusal of a larger picture is the same code at any budget, and
// filling hundreds of megabytes per input would slow the search a hundredfold.

#include "FuzzCheck.h"
#include "PartsStore.h"
#include "PictureFormats.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

namespace {

// Small parts keep each input's work small; the sheet's size limits are still reached
// through the picture's own declared size. A few sides, odd and even, give every store its
// own parts, kept from input to input: a new part size draws 256 numbered placeholders,
// which would cost more than the load itself.
constexpr int PartSides[] = {1, 2, 3, 4, 5, 7, 8, 12, 16, 17, 32, 48};
constexpr int PartSideCount = int(sizeof PartSides / sizeof PartSides[0]);

// The extensions the first byte picks from; one the registry does not know fails to load.
const char* const Extensions[] = {"bmp", "png", "gif", "jpg", "jpeg", "ppm",
                                  "pgm", "pbm", "xbm", "xpm", "ico",  "cur"};
constexpr int ExtensionCount = int(sizeof Extensions / sizeof Extensions[0]);

struct TFuzzState
{
    std::unique_ptr<QTemporaryDir> Dir;
    TPictureFormats Formats;
    struct TSlot
    {
        std::unique_ptr<TPartsStore> Store;
        QImage Sheet; // the parts as the last input left them
    };
    std::map<std::pair<int, int>, TSlot> Stores;
};

// Destroyed at exit, which removes the temporary folder.
std::unique_ptr<TFuzzState> state;

QImage sheetOf(const TPartsStore& store)
{
    QImage sheet;
    store.ComposePartsPicture(sheet);
    return sheet;
}

void checkLoadedSheet(const QImage& sheet, const QImage& before, const QImage& loaded, int pw,
                      int ph)
{
    const QRgb white = qRgb(255, 255, 255);
    const bool opaque = !loaded.hasAlphaChannel();
    const QImage picture = loaded.convertToFormat(QImage::Format_RGB32);
    for (int n = 0; n < TPartsStore::PartCount; ++n) {
        const int x0 = (n % TPartsStore::SheetSide) * pw;
        const int y0 = (n / TPartsStore::SheetSide) * ph;
        const bool captured = x0 < picture.width() && y0 < picture.height();
        for (int y = y0; y < y0 + ph; ++y) {
            const auto* got = reinterpret_cast<const QRgb*>(sheet.constScanLine(y));
            const auto* old = reinterpret_cast<const QRgb*>(before.constScanLine(y));
            const auto* want = y < picture.height()
                                   ? reinterpret_cast<const QRgb*>(picture.constScanLine(y))
                                   : nullptr;
            for (int x = x0; x < x0 + pw; ++x) {
                if (!captured)
                    QM_FUZZ_CHECK(got[x] == old[x]);
                else if (!want || x >= picture.width())
                    QM_FUZZ_CHECK(got[x] == white);
                else if (opaque)
                    QM_FUZZ_CHECK((got[x] & 0xffffffu) == (want[x] & 0xffffffu));
                else
                    QM_FUZZ_CHECK(qAlpha(got[x]) == 255);
            }
        }
    }
}

// Qt's readers, each with the fuzzing budget.
TPictureFormats budgetedQtFormats()
{
    const TPictureFormats qt = TPictureFormats::WithQtFormats();
    TPictureFormats formats;
    for (const QString& extension : qt.Extensions()) {
        const TPictureFormat* format = qt.Find(extension);
        formats.Register(
            extension, format->Description,
            [reader = format->Reader](const QString& fileName, const TPictureLimits& limits) {
                TPictureLimits budget = limits;
                const qint64 sheetBytes = qint64(limits.Used.width()) * limits.Used.height() * 4;
                budget.MaxBytes = std::min(limits.MaxBytes, std::max(sheetBytes * 4, qint64(4096)));
                return reader(fileName, budget);
            },
            format->Owner);
    }
    return formats;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    state = std::make_unique<TFuzzState>();
    const QString shm = QStringLiteral("/dev/shm");
    state->Dir = std::make_unique<QTemporaryDir>(
        QDir(shm).exists() ? shm + QStringLiteral("/qm-fuzz-picture-XXXXXX") : QString());
    QM_FUZZ_CHECK(state->Dir->isValid());
    state->Formats = budgetedQtFormats();
    QM_FUZZ_CHECK(state->Formats.Find(QStringLiteral("bmp")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const QString extension = QString::fromLatin1(Extensions[data[0] % ExtensionCount]);
    const int pw = PartSides[data[1] % PartSideCount];
    const int ph = PartSides[data[2] % PartSideCount];
    const QString path = state->Dir->filePath(QStringLiteral("picture.") + extension);
    {
        QFile file(path);
        QM_FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QM_FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data + 3), qint64(size - 3)) ==
                      qint64(size - 3));
    }

    TFuzzState::TSlot& slot = state->Stores[{pw, ph}];
    if (!slot.Store) {
        slot.Store = std::make_unique<TPartsStore>(state->Formats);
        slot.Store->SetPartsSize(uint16_t(pw), uint16_t(ph));
        slot.Sheet = sheetOf(*slot.Store);
    }
    TPartsStore& store = *slot.Store;
    store.SetFileName(QString());
    store.ClearPartsModified();
    const QImage before = slot.Sheet;

    const bool loaded = store.LoadPartsPicture(path);
    const QImage sheet = sheetOf(store);
    slot.Sheet = sheet;
    QM_FUZZ_CHECK(store.PartWidth() == pw && store.PartHeight() == ph);
    QM_FUZZ_CHECK(!store.IsPartsModified());
    for (int n = 0; n < TPartsStore::PartCount; ++n) {
        QM_FUZZ_CHECK(store.PartBitmap(n).size() == QSize(pw, ph));
        QM_FUZZ_CHECK(store.PartBitmap(n).format() == QImage::Format_RGB32);
    }
    if (!loaded) {
        QM_FUZZ_CHECK(store.FileName().isEmpty());
        QM_FUZZ_CHECK(sheet == before);
        return 0;
    }
    QM_FUZZ_CHECK(store.FileName() == path);
    // The registry reads the same picture again, the part of it the sheet uses.
    TPictureLimits limits;
    limits.Used = QSize(TPartsStore::SheetSide * pw, TPartsStore::SheetSide * ph);
    const std::optional<QImage> picture = state->Formats.LoadPicture(path, limits);
    QM_FUZZ_CHECK(picture && !picture->isNull());
    checkLoadedSheet(sheet, before, *picture, pw, ph);
    return 0;
}
