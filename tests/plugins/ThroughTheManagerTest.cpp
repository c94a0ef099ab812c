// The real plug-ins found and called by the program's own plug-in manager and plug-in
// bitmap: a parts sheet in either format, loaded by file name as the parts window loads it,
// gives the same pixels as the sheet saved as PNG.

#include "AseWriter.h"
#include "PictureFormats.h"
#include "SPIBmp.h"
#include "SPIs.h"
#include "TestSheets.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

bool WriteFile(const QString& name, const QByteArray& data)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

TAseSprite TwoLayerSprite(const QImage& sheet)
{
    const int half = sheet.width() / 2;
    const QImage left = sheet.copy(0, 0, half, sheet.height());
    const QImage right = sheet.copy(half, 0, sheet.width() - half, sheet.height());
    TAseSprite s;
    s.Width = sheet.width();
    s.Height = sheet.height();
    s.Layers = {TAseLayer{}, TAseLayer{}};
    s.Cels = {WholeCel(left, RgbaPixels(left), 0), WholeCel(right, RgbaPixels(right), 1)};
    s.Cels[1].X = half;
    return s;
}

class ThroughTheManager : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(TSPIs::ActiveSPIs(), nullptr);
        TSPIBitmap::InitializeUnit();
        FManager = std::make_unique<TSPIs>(FFormats);
        FManager->Search(QStringLiteral(QM_PLUGIN_DIR "/*.spi"));
        ASSERT_TRUE(FDir.isValid());
    }
    void TearDown() override
    {
        FManager.reset();
        TSPIBitmap::FinalizeUnit(FFormats);
    }

    QString Path(const QString& name) const { return FDir.filePath(name); }

    TPictureFormats FFormats = TPictureFormats::WithQtFormats();
    std::unique_ptr<TSPIs> FManager;
    QTemporaryDir FDir;
};

TEST_F(ThroughTheManager, BothPluginsRegisterTheirExtensions)
{
    EXPECT_GE(FManager->IndexOf(QStringLiteral(QM_IFWEBP_PATH)), 0);
    EXPECT_GE(FManager->IndexOf(QStringLiteral(QM_IFASE_PATH)), 0);
    for (const char* extension : {"webp", "aseprite", "ase"}) {
        const TPictureFormat* format = FFormats.Find(QString::fromLatin1(extension));
        ASSERT_NE(format, nullptr) << extension;
        EXPECT_EQ(format->Owner, TSPIBitmap::GraphicClassOwner) << extension;
    }
}

TEST_F(ThroughTheManager, SheetsLoadByNameAsTheSheetSavedAsPng)
{
    const QImage sheet = DrawPartsSheet(32);
    const QImage faded = DrawPartsSheet(16, true);
    const QByteArray ase = WriteAse(TwoLayerSprite(sheet));
    const struct
    {
        const char* name;
        QByteArray data;
        QImage expected;
    } rows[] = {
        {"sheet.webp", EncodeWebp(sheet, true), ThroughPng(sheet)},
        {"faded.webp", EncodeWebp(faded, true), OverWhite(ThroughPng(faded))},
        {"sheet.aseprite", ase, ThroughPng(sheet)},
        {"sheet.ase", ase, ThroughPng(sheet)},
        // The name does not decide: an Aseprite file named .webp is still read.
        {"misnamed.webp", ase, ThroughPng(sheet)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = Path(QString::fromLatin1(row.name));
        ASSERT_TRUE(WriteFile(path, row.data));
        const std::optional<QImage> loaded = FFormats.LoadPicture(path);
        ASSERT_TRUE(loaded.has_value());
        EXPECT_LE(MaxDifference(*loaded, row.expected), 1);

        TSPIBitmap bitmap;
        bitmap.LoadFromFile(path);
        EXPECT_LE(MaxDifference(bitmap.Image(), row.expected), 1);
    }
}

TEST_F(ThroughTheManager, RefusedPicturesAreUnrecognised)
{
    TAseSprite multiply = TwoLayerSprite(DrawPartsSheet(4));
    multiply.Layers[1].Blend = 1;
    const QByteArray webp = EncodeWebp(DrawPartsSheet(4), true);
    const struct
    {
        const char* name;
        QByteArray data;
    } rows[] = {
        {"multiply.aseprite", WriteAse(multiply)},
        {"cut.webp", webp.left(webp.size() / 2)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = Path(QString::fromLatin1(row.name));
        ASSERT_TRUE(WriteFile(path, row.data));
        EXPECT_FALSE(FFormats.LoadPicture(path).has_value());
        TSPIBitmap bitmap;
        try {
            bitmap.LoadFromFile(path);
            ADD_FAILURE() << "loaded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.message(), QStringLiteral("認識できない画像形式です"));
        }
    }
}

} // namespace
