#include "CmprsImg.h"

#include "PictureCodec.h"

#include <QPainter>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

// A frame of one colour around a differently coloured centre; the frame holds the
// bottom-left pixel.
QImage framedPicture(QColor frame, QColor centre, QSize size = QSize(12, 10))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(frame);
    QPainter p(&image);
    p.fillRect(QRect(3, 3, size.width() - 6, size.height() - 6), centre);
    return image;
}

QByteArray withLength(qint32 length, const QByteArray& block)
{
    QByteArray value(4, '\0');
    qToLittleEndian(length, value.data());
    return value + block;
}

} // namespace

TEST(CompressedImage, ReadsAStoredPictureAndSizesItselfToIt)
{
    const QImage source = framedPicture(Qt::blue, Qt::green, QSize(21, 13));
    TCompressedImage image;
    image.SetAutoSize(true);
    image.ReadCompressedData(compressedDataFromPicture(source));

    ASSERT_EQ(image.Picture().size(), source.size());
    EXPECT_EQ(image.Picture().convertToFormat(QImage::Format_RGB32), source);
    EXPECT_EQ(image.size(), QSize(21, 13));
    EXPECT_EQ(image.sizeHint(), QSize(21, 13));

    const QImage shown = image.grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(0, 0)), QColor(Qt::blue));
    EXPECT_EQ(QColor(shown.pixel(10, 6)), QColor(Qt::green));
}

TEST(CompressedImage, DamagedValueThrowsAndKeepsThePictureLengthZeroClearsIt)
{
    const QImage before = framedPicture(Qt::red, Qt::yellow);
    TCompressedImage image;
    image.SetPicture(before);

    QByteArray value = compressedDataFromPicture(framedPicture(Qt::blue, Qt::green));
    QByteArray corrupt = value;
    corrupt[8] = char(corrupt[8] ^ 0x5a); // inside the deflate data
    QByteArray truncated = value.left(value.size() - 6);

    EXPECT_THROW(image.ReadCompressedData(corrupt), ECompressedDataError);
    EXPECT_EQ(image.Picture(), before);
    EXPECT_THROW(image.ReadCompressedData(truncated), ECompressedDataError);
    EXPECT_EQ(image.Picture(), before);
    EXPECT_THROW(image.LoadResource(QStringLiteral(":/pictures/no-such.cmp")),
                 ECompressedDataError);
    EXPECT_EQ(image.Picture(), before);

    // A length of 0 or less means no stored picture, whatever follows.
    image.ReadCompressedData(withLength(0, {}));
    EXPECT_TRUE(image.Picture().isNull());
    image.SetPicture(before);
    image.ReadCompressedData(withLength(-5, QByteArray("garbage")));
    EXPECT_TRUE(image.Picture().isNull());
}

TEST(CompressedImage, TransparentDrawingLeavesOutTheBottomLeftColour)
{
    QWidget parent;
    parent.resize(30, 30);
    parent.setAutoFillBackground(true);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, Qt::red);
    parent.setPalette(palette);

    auto* image = new TCompressedImage(&parent);
    image->SetAutoSize(true);
    image->SetPicture(framedPicture(Qt::blue, Qt::green));
    image->move(5, 5);

    image->SetTransparent(true);
    QImage shown = parent.grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(5, 5)), QColor(Qt::red));     // frame left out
    EXPECT_EQ(QColor(shown.pixel(5, 14)), QColor(Qt::red));    // the bottom-left pixel itself
    EXPECT_EQ(QColor(shown.pixel(10, 10)), QColor(Qt::green)); // centre drawn

    // Off again: the frame comes back, and the picture itself never lost it.
    image->SetTransparent(false);
    shown = parent.grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(5, 5)), QColor(Qt::blue));
    EXPECT_EQ(QColor(image->Picture().pixel(0, 9)), QColor(Qt::blue));
}
