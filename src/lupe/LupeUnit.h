#pragma once

#include <QImage>
#include <QWidget>

// The magnifier: shows a part's picture enlarged by a whole factor, every pixel a square
// block, drawn straight from the picture for the exposed area only, so that even a huge
// magnification costs no memory. It shows the part under edit; its pixels cannot be
// edited.
class TLupe : public QWidget
{
    Q_OBJECT

public:
    explicit TLupe(QWidget* parent = nullptr);

    const QImage& Bitmap() const { return FBitmap; }
    void SetBitmap(const QImage& bitmap);
    int Magnification() const { return FMagnification; }
    void SetMagnification(int factor); // at least 1

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FBitmap;
    int FMagnification = 1;
};
