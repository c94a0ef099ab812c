// ifase.spi loaded by absolute path and called through its exports, on sprites written by
// the tests' own writer.

#include "AseWriter.h"
#include "SpiModule.h"
#include "TestSheets.h"

#include <QPainter>
#include <functional>
#include <gtest/gtest.h>

namespace {

const TSpiModule& Plugin()
{
    static const TSpiModule plugin(QM_IFASE_PATH);
    return plugin;
}

// The sheet as an 8-bit indexed picture, its palette for the sprite.
QImage IndexedSheet(int side)
{
    return DrawPartsSheet(side).convertToFormat(QImage::Format_Indexed8,
                                                Qt::ThresholdDither | Qt::AvoidDither);
}

// A palette whose components survive 6-bit storage: k * 255 / 63, rounded.
QImage SixBitSheet(int side)
{
    QImage sheet = IndexedSheet(side);
    QList<QRgb> colours = sheet.colorTable();
    for (QRgb& c : colours) {
        auto six = [](int v) { return ((v * 63 + 127) / 255 * 255 + 31) / 63; };
        c = qRgb(six(qRed(c)), six(qGreen(c)), six(qBlue(c)));
    }
    sheet.setColorTable(colours);
    return sheet;
}

TAseSprite OneLayer(const QImage& image, int depth)
{
    TAseSprite s;
    s.Width = image.width();
    s.Height = image.height();
    s.Depth = depth;
    s.Layers = {TAseLayer{}};
    return s;
}

TAseSprite RgbaSprite(const QImage& image, TCelKind kind = TCelKind::Compressed)
{
    TAseSprite s = OneLayer(image, 32);
    s.Cels = {WholeCel(image, RgbaPixels(image))};
    s.Cels[0].Kind = kind;
    return s;
}

TAseSprite IndexedSprite(const QImage& indexed, TPaletteChunk kind, TCelKind cel)
{
    TAseSprite s = OneLayer(indexed, 8);
    s.Palette = indexed.colorTable();
    s.PaletteKind = kind;
    s.TransparentIndex = 255; // not used by the sheet
    while (s.Palette.size() < 256) {
        s.Palette.append(qRgb(1, 2, 3));
    }
    s.Cels = {WholeCel(indexed, IndexPixels(indexed))};
    s.Cels[0].Kind = cel;
    return s;
}

QImage Decode(const QByteArray& file, QString* why = nullptr)
{
    const TSpiModule::TDecoded got = Plugin().Decode(file);
    if (why != nullptr) {
        *why = got.Why;
    }
    return got.Result == SPI_ALL_RIGHT ? got.Image : QImage();
}

TEST(AsePlugin, AnswersAsAPicturePlugin)
{
    ASSERT_TRUE(Plugin().IsLoaded()) << Plugin().LoadError().toStdString();
    EXPECT_EQ(Plugin().Info(0), "00IN");
    EXPECT_FALSE(Plugin().Info(1).isEmpty());
    EXPECT_EQ(Plugin().Info(2), "*.aseprite;*.ase");
    EXPECT_FALSE(Plugin().Info(3).isEmpty());
    EXPECT_TRUE(Plugin().Info(4).isEmpty());

    const QByteArray ase = WriteAse(RgbaSprite(DrawPartsSheet(2)));
    QByteArray otherDepth = ase;
    otherDepth[12] = 24;
    QByteArray noFrame = ase;
    noFrame[132] = 0;
    const struct
    {
        const char* name;
        QByteArray data;
        bool supported;
    } rows[] = {
        {"sprite", ase, true},
        {"header and frame header only", ase.left(144), true},
        {"header only", ase.left(128), false},
        {"24-bit depth", otherDepth, false},
        {"no frame magic", noFrame, false},
        {"flic magic", QByteArray(4, '\0') + QByteArray("\x12\xAF", 2), false},
        {"empty", QByteArray(), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Plugin().IsSupported(row.data), row.supported) << row.name;
    }

    PictureInfo info;
    ASSERT_EQ(Plugin().PictureInfo(WriteAse(RgbaSprite(DrawPartsSheet(2).copy(0, 0, 19, 7))), info),
              SPI_ALL_RIGHT);
    EXPECT_EQ(info.width, 19);
    EXPECT_EQ(info.height, 7);
    EXPECT_EQ(info.colorDepth, 24);
    const HLOCAL text = info.hInfo; // a packed member cannot be bound to a reference
    EXPECT_EQ(text, nullptr);
    EXPECT_NE(Plugin().PictureInfo(ase.left(100), info), SPI_ALL_RIGHT);
}

// Each colour mode and cel kind gives the same pixels as the sheet saved as PNG.
TEST(AsePlugin, SheetsReadAsTheSheetSavedAsPng)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    const QImage rgb = DrawPartsSheet(8);
    const QImage odd = DrawPartsSheet(4).copy(3, 5, 37, 11); // rows need padding
    const QImage gray = DrawPartsSheet(8).convertToFormat(QImage::Format_Grayscale8);
    const QImage indexed = IndexedSheet(8);
    const QImage sixBit = SixBitSheet(8);

    TAseSprite grayscale = OneLayer(gray, 16);
    grayscale.Cels = {WholeCel(gray, GrayPixels(gray))};

    TAseSprite noOpacityFlag = RgbaSprite(rgb);
    noOpacityFlag.Flags = 0;
    noOpacityFlag.Layers[0].Opacity = 0; // to be ignored without the flag

    // Frame 0 links to the cel of frame 1.
    TAseSprite linked = RgbaSprite(rgb);
    linked.Frames = 2;
    linked.Cels[0].Frame = 1;
    TAseCel link;
    link.Kind = TCelKind::Linked;
    link.LinkFrame = 1;
    linked.Cels.push_back(link);

    // A hidden layer above, a reference layer and a hidden group's child: none drawn.
    TAseSprite hidden = RgbaSprite(rgb);
    const QImage blot(rgb.size(), QImage::Format_ARGB32);
    const_cast<QImage&>(blot).fill(Qt::red);
    hidden.Layers = {TAseLayer{}, TAseLayer{0}, TAseLayer{1 | 64}, TAseLayer{0, 1},
                     TAseLayer{1, 0, 1}};
    for (int layer : {1, 2, 4}) {
        hidden.Cels.push_back(WholeCel(blot, RgbaPixels(blot), layer));
    }

    // The sheet on a layer inside two visible groups.
    TAseSprite grouped = RgbaSprite(rgb);
    grouped.Layers = {TAseLayer{1, 1, 0}, TAseLayer{1, 1, 1}, TAseLayer{1, 0, 2}};
    grouped.Cels[0].Layer = 2;

    // The sheet cut into two layers' cels that sit side by side, one raw, one compressed.
    TAseSprite halves = OneLayer(rgb, 32);
    halves.Layers.push_back(TAseLayer{});
    const QImage left = rgb.copy(0, 0, 50, rgb.height());
    const QImage right = rgb.copy(50, 0, rgb.width() - 50, rgb.height());
    halves.Cels = {WholeCel(left, RgbaPixels(left), 0), WholeCel(right, RgbaPixels(right), 1)};
    halves.Cels[0].Kind = TCelKind::Raw;
    halves.Cels[1].X = 50;

    const struct
    {
        const char* name;
        TAseSprite sprite;
        QImage sheet;
    } rows[] = {
        {"RGBA, compressed", RgbaSprite(rgb), rgb},
        {"RGBA, raw", RgbaSprite(rgb, TCelKind::Raw), rgb},
        {"RGBA, odd width", RgbaSprite(odd), odd},
        {"grayscale", grayscale, gray},
        {"indexed, palette chunk", IndexedSprite(indexed, TPaletteChunk::New, TCelKind::Compressed),
         indexed},
        {"indexed, raw cel", IndexedSprite(indexed, TPaletteChunk::New, TCelKind::Raw), indexed},
        {"indexed, old palette", IndexedSprite(indexed, TPaletteChunk::Old, TCelKind::Compressed),
         indexed},
        {"indexed, 6-bit palette",
         IndexedSprite(sixBit, TPaletteChunk::Old64, TCelKind::Compressed), sixBit},
        {"layer opacity not valid", noOpacityFlag, rgb},
        {"linked cel", linked, rgb},
        {"hidden, reference and hidden group's layers", hidden, rgb},
        {"layer in nested groups", grouped, rgb},
        {"two cels side by side", halves, rgb},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QString why;
        const QImage got = Decode(WriteAse(row.sprite), &why);
        ASSERT_FALSE(got.isNull()) << why.toStdString();
        EXPECT_EQ(MaxDifference(got, ThroughPng(row.sheet)), 0);
    }
}

// Layers in normal mode with their opacity, over white, as a painter blends them.
TEST(AsePlugin, LayersBlendWithTheirOpacity)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    const QImage base = DrawPartsSheet(4);
    const QImage faded = DrawPartsSheet(4, true).mirrored(true, false);
    QImage patch(20, 12, QImage::Format_ARGB32);
    patch.fill(qRgba(10, 200, 30, 255));

    struct TRow
    {
        const char* name;
        uint8_t layerOpacity;
        uint8_t celOpacity;
        QPoint at;
        int16_t zIndex; // of the base cel
    };
    const TRow rows[] = {
        {"opaque", 255, 255, {0, 0}, 0},
        {"layer opacity", 128, 255, {0, 0}, 0},
        {"cel opacity", 255, 77, {0, 0}, 0},
        {"both", 200, 160, {0, 0}, 0},
        {"patch off the top left corner", 255, 255, {-7, -5}, 0},
        {"patch past the bottom right", 150, 255, {55, 60}, 0},
        {"base moved above by its z-index", 255, 255, {0, 0}, 2},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.name);
        TAseSprite s = OneLayer(base, 32);
        s.Layers = {TAseLayer{}, TAseLayer{}, TAseLayer{}};
        s.Layers[1].Opacity = row.layerOpacity;
        s.Cels = {WholeCel(base, RgbaPixels(base), 0), WholeCel(faded, RgbaPixels(faded), 1),
                  WholeCel(patch, RgbaPixels(patch), 2)};
        s.Cels[0].ZIndex = row.zIndex;
        s.Cels[1].Opacity = row.celOpacity;
        s.Cels[2].X = row.at.x();
        s.Cels[2].Y = row.at.y();
        s.Cels[2].Kind = TCelKind::Raw;

        QImage expected(base.size(), QImage::Format_RGB32);
        expected.fill(Qt::white);
        {
            QPainter p(&expected);
            auto drawBase = [&] { p.drawImage(0, 0, base); };
            if (row.zIndex == 0) {
                drawBase();
            }
            p.setOpacity(row.layerOpacity / 255.0 * row.celOpacity / 255.0);
            p.drawImage(0, 0, faded);
            p.setOpacity(1);
            p.drawImage(row.at, patch);
            if (row.zIndex != 0) {
                drawBase();
            }
        }
        QString why;
        const QImage got = Decode(WriteAse(s), &why);
        ASSERT_FALSE(got.isNull()) << why.toStdString();
        // Two ways of rounding the blend: within a step or two.
        EXPECT_LE(MaxDifference(got, expected), 2);
    }
}

// The transparent colour index shows what lies below, except on the background layer.
TEST(AsePlugin, TransparentIndexOutsideTheBackground)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    QImage below(8, 4, QImage::Format_Indexed8);
    below.setColorTable({qRgb(200, 0, 0), qRgb(0, 0, 200), qRgb(0, 150, 0)});
    below.fill(2);
    below.setPixel(0, 0, 0); // index 0: the transparent one, but this is the background
    QImage above(8, 4, QImage::Format_Indexed8);
    above.setColorTable(below.colorTable());
    above.fill(0);
    above.setPixel(3, 1, 1);

    TAseSprite s = OneLayer(below, 8);
    s.Palette = below.colorTable();
    s.TransparentIndex = 0;
    s.Layers = {TAseLayer{1 | 8}, TAseLayer{}};
    s.Cels = {WholeCel(below, IndexPixels(below), 0), WholeCel(above, IndexPixels(above), 1)};

    QImage expected = below.convertToFormat(QImage::Format_RGB32);
    expected.setPixel(3, 1, qRgb(0, 0, 200));
    const QImage got = Decode(WriteAse(s));
    ASSERT_FALSE(got.isNull());
    EXPECT_EQ(MaxDifference(got, expected), 0);

    // Without the background flag, index 0 of the lower layer is clear too: white.
    s.Layers[0].Flags = 1;
    expected.setPixel(0, 0, qRgb(255, 255, 255));
    EXPECT_EQ(MaxDifference(Decode(WriteAse(s)), expected), 0);
}

// Whatever cannot be drawn exactly is refused, with the reason.
TEST(AsePlugin, RefusesWhatItCannotDrawExactly)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    const QImage rgb = DrawPartsSheet(2);
    using TChange = std::function<void(TAseSprite&)>;
    const struct
    {
        const char* name;
        TChange change;
        const char* reason;
    } rows[] = {
        {"multiply layer", [](TAseSprite& s) { s.Layers[0].Blend = 1; }, "blend"},
        {"tilemap layer",
         [](TAseSprite& s) {
             s.Layers[0].Type = 2;
             s.Cels[0].Kind = TCelKind::Tilemap;
             s.Cels[0].Width = s.Cels[0].Height = 2;
         },
         "tilemap"},
        {"tilemap cel on an image layer",
         [](TAseSprite& s) {
             s.Cels[0].Kind = TCelKind::Tilemap;
             s.Cels[0].Width = s.Cels[0].Height = 2;
         },
         "tilemap"},
        {"group with opacity",
         [](TAseSprite& s) {
             s.Layers = {TAseLayer{1, 1, 0, 0, 100}, TAseLayer{1, 0, 1}};
             s.Cels[0].Layer = 1;
         },
         "group"},
        {"cel of a missing layer", [](TAseSprite& s) { s.Cels[0].Layer = 3; }, "layer"},
        {"layer below a non-group",
         [](TAseSprite& s) {
             s.Layers.push_back(TAseLayer{1, 0, 1});
         },
         "group"},
        {"link to a frame without the cel",
         [](TAseSprite& s) {
             s.Cels[0].Kind = TCelKind::Linked;
             s.Cels[0].LinkFrame = 1;
         },
         "link"},
        {"links in a loop",
         [](TAseSprite& s) {
             s.Frames = 2;
             s.Cels[0].Kind = TCelKind::Linked;
             s.Cels[0].LinkFrame = 1;
             TAseCel back = s.Cels[0];
             back.Frame = 1;
             back.LinkFrame = 1;
             s.Cels.push_back(back);
         },
         "loop"},
        {"raw cel larger than its data",
         [](TAseSprite& s) {
             s.Cels[0].Kind = TCelKind::Raw;
             s.Cels[0].Height += 1;
         },
         "fewer pixels"},
        {"compressed cel larger than its data", [](TAseSprite& s) { s.Cels[0].Width += 1; },
         "fewer pixels"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TAseSprite s = RgbaSprite(rgb);
        row.change(s);
        QString why;
        EXPECT_TRUE(Decode(WriteAse(s), &why).isNull());
        EXPECT_TRUE(why.contains(row.reason)) << why.toStdString();
    }

    // An index past the palette.
    const QImage indexed = IndexedSheet(8);
    TAseSprite s = IndexedSprite(indexed, TPaletteChunk::New, TCelKind::Compressed);
    s.Palette.resize(1);
    QString why;
    EXPECT_TRUE(Decode(WriteAse(s), &why).isNull());
    EXPECT_TRUE(why.contains("palette")) << why.toStdString();
}

// Every cut of a file is refused without reading past its end (the sanitizer build checks
// the reading), and a damaged compressed cel is refused.
TEST(AsePlugin, TruncatedAndDamagedFilesAreRefused)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    const QImage rgb = DrawPartsSheet(2);
    TAseSprite s = RgbaSprite(rgb);
    s.Palette = {qRgb(1, 2, 3), qRgb(4, 5, 6)};
    s.Layers.push_back(TAseLayer{});
    s.Cels.push_back(WholeCel(rgb, RgbaPixels(rgb), 1));
    s.Cels[1].Kind = TCelKind::Raw;
    const QByteArray file = WriteAse(s);
    ASSERT_FALSE(Decode(file).isNull());
    for (qsizetype cut = 0; cut < file.size(); cut += (cut < 300 ? 1 : 97)) {
        EXPECT_TRUE(Decode(file.left(cut)).isNull()) << "cut at " << cut;
    }

    QByteArray damaged = file;
    const qsizetype zlibAt = file.indexOf(QByteArray("\x78\x9c", 2));
    ASSERT_GT(zlibAt, 0);
    damaged[zlibAt] = 0x12;
    QString why;
    EXPECT_TRUE(Decode(damaged, &why).isNull());
    EXPECT_TRUE(why.contains("damaged")) << why.toStdString();
}

TEST(AsePlugin, ReportsProgressPerCelAndStopsWhenAsked)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    const QImage rgb = DrawPartsSheet(2);
    TAseSprite s = RgbaSprite(rgb);
    s.Layers = {TAseLayer{}, TAseLayer{}, TAseLayer{}};
    s.Cels = {WholeCel(rgb, RgbaPixels(rgb), 0), WholeCel(rgb, RgbaPixels(rgb), 1),
              WholeCel(rgb, RgbaPixels(rgb), 2)};
    const QByteArray file = WriteAse(s);

    std::vector<std::pair<int, int>> calls;
    ASSERT_EQ(Plugin()
                  .Decode(file,
                          [&](int num, int denom) {
                              calls.emplace_back(num, denom);
                              return false;
                          })
                  .Result,
              SPI_ALL_RIGHT);
    const std::vector<std::pair<int, int>> expected = {{0, 1}, {1, 3}, {2, 3}, {3, 3}};
    EXPECT_EQ(calls, expected);

    for (int stopAt = 1; stopAt <= 4; ++stopAt) {
        int seen = 0;
        const TSpiModule::TDecoded got =
            Plugin().Decode(file, [&](int, int) { return ++seen == stopAt; });
        EXPECT_EQ(got.Result, SPI_ABORT);
        EXPECT_EQ(seen, stopAt);
    }
}

} // namespace
