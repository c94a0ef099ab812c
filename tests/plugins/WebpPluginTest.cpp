// ifwebp.spi loaded by absolute path and called through its exports.

#include "SpiModule.h"
#include "TestSheets.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <webp/decode.h>

namespace {

const TSpiModule& Plugin()
{
    static const TSpiModule plugin(QM_IFWEBP_PATH);
    return plugin;
}

// libwebp's own decoding of the file, over white: what the plug-in must match.
QImage DecodedByLibwebp(const QByteArray& file)
{
    int w = 0, h = 0;
    uint8_t* rgba = WebPDecodeRGBA(reinterpret_cast<const uint8_t*>(file.constData()),
                                   size_t(file.size()), &w, &h);
    if (rgba == nullptr) {
        return QImage();
    }
    const QImage image = QImage(rgba, w, h, w * 4, QImage::Format_RGBA8888).copy();
    WebPFree(rgba);
    return OverWhite(image);
}

double MeanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

TEST(WebpPlugin, AnswersAsAPicturePlugin)
{
    ASSERT_TRUE(Plugin().IsLoaded()) << Plugin().LoadError().toStdString();
    EXPECT_EQ(Plugin().Info(0), "00IN");
    EXPECT_TRUE(Plugin().Info(1).contains("WebP"));
    EXPECT_EQ(Plugin().Info(2), "*.webp");
    EXPECT_FALSE(Plugin().Info(3).isEmpty());
    EXPECT_TRUE(Plugin().Info(4).isEmpty());

    const QByteArray webp = EncodeWebp(DrawPartsSheet(2), true);
    const struct
    {
        const char* name;
        QByteArray data;
        bool supported;
    } rows[] = {
        {"webp", webp, true},
        {"webp head only", webp.left(12), true},
        {"wave", QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16), false},
        {"png", QByteArray("\x89PNG\r\n\x1a\n", 8), false},
        {"empty", QByteArray(), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Plugin().IsSupported(row.data), row.supported) << row.name;
    }
}

TEST(WebpPlugin, InfoRecordAndArguments)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    const QImage sheet = DrawPartsSheet(3).copy(0, 0, 37, 21);
    const QByteArray webp = EncodeWebp(sheet, true);
    PictureInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(Plugin().PictureInfo(webp, info), SPI_ALL_RIGHT);
    EXPECT_EQ(info.left, 0);
    EXPECT_EQ(info.top, 0);
    EXPECT_EQ(info.width, 37);
    EXPECT_EQ(info.height, 21);
    EXPECT_EQ(info.colorDepth, 24);
    const HLOCAL text = info.hInfo; // a packed member cannot be bound to a reference
    EXPECT_EQ(text, nullptr);

    EXPECT_NE(Plugin().PictureInfo(QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16), info), SPI_ALL_RIGHT);
    EXPECT_FALSE(Plugin().LastError().isEmpty());
    EXPECT_NE(Plugin().PictureInfo(QByteArray(64, 'x'), info), SPI_ALL_RIGHT);
}

// A sheet written by libwebp's encoder reads back as the same sheet saved as PNG.
TEST(WebpPlugin, SheetsReadAsTheSheetSavedAsPng)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    const struct
    {
        const char* name;
        int side;
        bool alpha;
        QRect area; // empty: the whole sheet
    } rows[] = {
        {"32 x 32 parts", 32, false, {}},
        {"16 x 16 parts with alpha", 16, true, {}},
        {"1 x 1", 4, false, {5, 5, 1, 1}},
        {"2 x 3 (rows padded)", 4, false, {1, 2, 2, 3}},
        {"3 x 2 with alpha", 4, true, {3, 1, 3, 2}},
        {"5 x 7", 4, false, {0, 0, 5, 7}},
        {"33 x 17 with alpha", 4, true, {7, 9, 33, 17}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QImage sheet = DrawPartsSheet(row.side, row.alpha);
        if (!row.area.isEmpty()) {
            sheet = sheet.copy(row.area);
        }
        const QImage png = ThroughPng(sheet);
        const TSpiModule::TDecoded got = Plugin().Decode(EncodeWebp(sheet, true));
        ASSERT_EQ(got.Result, SPI_ALL_RIGHT) << got.Why.toStdString();
        ASSERT_FALSE(got.Image.isNull());
        // The bits block holds just the padded 24-bit rows.
        EXPECT_EQ(got.BitsSize, size_t((sheet.width() * 3 + 3) / 4 * 4 * sheet.height()));
        if (row.alpha) {
            // Over white, within the rounding of two ways of blending.
            EXPECT_LE(MaxDifference(got.Image, OverWhite(png)), 1);
        } else {
            EXPECT_EQ(MaxDifference(got.Image, png), 0);
        }
    }
}

TEST(WebpPlugin, LossyPicturesMatchLibwebpAndStayNearThePng)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    // Lossy coding blurs colour at the sheet's sharp edges; a smooth picture stays close.
    QImage smooth(300, 200, QImage::Format_ARGB32);
    smooth.fill(Qt::transparent);
    {
        QPainter p(&smooth);
        QLinearGradient g(0, 0, 300, 200);
        g.setColorAt(0, QColor(250, 40, 10));
        g.setColorAt(0.5, QColor(20, 200, 90, 160));
        g.setColorAt(1, QColor(30, 60, 240));
        p.fillRect(smooth.rect(), g);
    }
    const struct
    {
        const char* name;
        QImage picture;
        double meanLimit; // against the PNG
    } rows[] = {
        {"sheet", DrawPartsSheet(32), 20},
        {"sheet with alpha", DrawPartsSheet(32, true), 10},
        {"smooth with alpha", smooth, 1.5},
        {"smooth", smooth.convertToFormat(QImage::Format_RGB32), 1.5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QByteArray webp = EncodeWebp(row.picture, false, 95);
        const TSpiModule::TDecoded got = Plugin().Decode(webp);
        ASSERT_EQ(got.Result, SPI_ALL_RIGHT) << got.Why.toStdString();
        // The same decoder: the same pixels, but for the flattening's rounding.
        EXPECT_LE(MaxDifference(got.Image, DecodedByLibwebp(webp)),
                  row.picture.hasAlphaChannel() ? 1 : 0);
        EXPECT_LT(MeanDifference(got.Image, OverWhite(ThroughPng(row.picture))), row.meanLimit);
    }
}

TEST(WebpPlugin, DamagedDataIsRefused)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    const QByteArray webp = EncodeWebp(DrawPartsSheet(8), true);
    QByteArray badHead = webp;
    badHead[12] = 'X'; // no VP8 chunk
    const struct
    {
        const char* name;
        QByteArray data;
    } rows[] = {
        {"head only", webp.left(12)},         {"first chunk header", webp.left(30)},
        {"half", webp.left(webp.size() / 2)}, {"one byte short", webp.left(webp.size() - 1)},
        {"unknown first chunk", badHead},
    };
    for (const auto& row : rows) {
        const TSpiModule::TDecoded got = Plugin().Decode(row.data);
        EXPECT_NE(got.Result, SPI_ALL_RIGHT) << row.name;
        EXPECT_TRUE(got.Image.isNull()) << row.name;
        EXPECT_FALSE(got.Why.isEmpty()) << row.name;
    }
}

TEST(WebpPlugin, ReportsProgressAndStopsWhenAsked)
{
    ASSERT_TRUE(Plugin().IsLoaded());
    // Noise does not compress: the file is large enough to be fed in several steps.
    QImage noise(512, 512, QImage::Format_RGB32);
    QRandomGenerator dice(7);
    for (int y = 0; y < noise.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x) {
            row[x] = 0xFF000000u | dice.generate();
        }
    }
    const QByteArray webp = EncodeWebp(noise, true);

    std::vector<std::pair<int, int>> calls;
    const TSpiModule::TDecoded whole = Plugin().Decode(webp, [&](int num, int denom) {
        calls.emplace_back(num, denom);
        return false;
    });
    ASSERT_EQ(whole.Result, SPI_ALL_RIGHT);
    EXPECT_EQ(MaxDifference(whole.Image, noise), 0);
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls.front().first, 0);
    EXPECT_EQ(calls.back().first, calls.back().second);
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_GE(calls[i].first, calls[i - 1].first);
        EXPECT_GT(calls[i].second, 0);
    }

    for (size_t stopAt : {size_t(1), size_t(2), calls.size()}) {
        size_t seen = 0;
        const TSpiModule::TDecoded stopped =
            Plugin().Decode(webp, [&](int, int) { return ++seen == stopAt; });
        EXPECT_EQ(stopped.Result, SPI_ABORT) << stopAt;
        EXPECT_EQ(seen, stopAt) << "decoding went on after the callback said stop";
    }
}

} // namespace
