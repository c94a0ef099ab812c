#pragma once

#include <QByteArray>
#include <QImage>
#include <QWidget>

// A picture control whose picture is kept as a "CompressedData" value (a length, then a
// zlib stream of a delta-encoded BMP file) in the program's resources, read when the window
// holding it is created.
class TCompressedImage : public QWidget
{
    Q_OBJECT

public:
    explicit TCompressedImage(QWidget* parent = nullptr);

    // Reads one "CompressedData" value. A length of 0 or less leaves the control without a
    // picture; a damaged value throws ECompressedDataError and leaves it as it was.
    void ReadCompressedData(const QByteArray& value);
    // Reads the value from a Qt resource path (":/pictures/title.cmp"); a missing resource
    // throws like a damaged value.
    void LoadResource(const QString& resourcePath);

    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& picture);

    // Sizes the control to its picture.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);
    // Draws the picture with its bottom-left pixel's colour left out.
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool transparent);

    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage FPicture;
    QImage FShown; // the picture as drawn (with the transparent colour removed)
    bool FAutoSize = false;
    bool FTransparent = false;
};
