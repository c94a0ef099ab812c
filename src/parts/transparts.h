#pragma once

#include "PixelShapes.h"

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <vector>

class QAction;
class QButtonGroup;
class QFrame;
class QGroupBox;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QStatusBar;
class QTimer;
class QToolButton;
class TLupe;
class TPartsStore;

// One part and which of its pixels are transparent, for laying it over another picture.
// The mask has the source's size and holds only exactly white (transparent) and exactly
// black (opaque) pixels. Knows no widget. Drawing outside the source is clipped.
class TOverlayMask
{
public:
    // The source becomes a copy of source (made RGB32); the mask all opaque.
    void SetSource(const QImage& source);
    const QImage& Source() const { return SourceBitmap; }
    const QImage& Mask() const { return MaskBitmap; }
    bool Contains(int x, int y) const { return SourceBitmap.rect().contains(x, y); }
    bool IsTransparent(int x, int y) const;

    // A new mask: the source's pixels of exactly colour c transparent, all others opaque.
    void MakeFromColour(QRgb c);
    // One pixel, and the drawing position moves there.
    void SetPixel(int x, int y, bool transparent);
    // A one-pixel line from the drawing position to (x, y), both ends included; (x, y)
    // becomes the drawing position.
    void LineTo(int x, int y, bool transparent);
    // The four-connected area of the mask around (x, y) that has the colour of (x, y)
    // becomes transparent or opaque; (x, y) becomes the drawing position.
    void Fill(int x, int y, bool transparent);
    // Transparent and opaque swap.
    void Reverse();

    // The picture the magnifier shows in a blink phase: phase 0 the source, phase 1 the
    // source with its transparent pixels in inverted colours.
    QImage BlinkPicture(int phase) const;
    // The source's opaque pixels replace the target's pixels at the same places; the
    // target's other pixels, and any beyond the source's size, stay.
    void OverlayOnto(QImage& target) const;

private:
    QImage SourceBitmap;
    QImage MaskBitmap;
    QPoint FPosition;
    TPixelShapes FShapes;
    std::vector<TPixelSpan> FSpans;
};

// "透明色を指定して下さい": the user says which pixels of a source part are transparent, by
// picking a colour (colour way) or painting a mask (mask way), in an enlarged view where
// the transparent area blinks. Created hidden at start; for each use the caller calls
// SetSourcePart, shows the dialog modally (RunModal) and on OK calls OverlayOnto on the
// picture to be drawn over. Nothing is kept with the part.
class TTranslucenPartsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TTranslucenPartsDlg(const TPartsStore& parts, QWidget* parent = nullptr);
    ~TTranslucenPartsDlg() override;

    // Prepares for one source part: the part's picture in the magnifier, free-line mode,
    // "透過部分", no colour picked, everything opaque. The way chosen and the blink phase
    // stay as they were.
    void SetSourcePart(int n);
    // After OK: the source's opaque pixels onto target (see TOverlayMask::OverlayOnto).
    void OverlayOnto(QImage& target) const;

    TLupe* Lupe;
    QScrollArea* ScrollBox1;
    QRadioButton* Radio_ColorWay;
    QRadioButton* Radio_MaskWay;
    QGroupBox* Box_ColorWay;
    QFrame* ColorPanel;
    QGroupBox* Box_MaskWay;
    QRadioButton* Radio_Trans;
    QRadioButton* Radio_NotTrans;
    QToolButton* Button_FreeLine;
    QToolButton* Button_Paint;
    QToolButton* Button_Reverse;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QStatusBar* StatusBar;
    QTimer* BlinkTimer;
    QMenu* PopupMenu;
    QAction* F1;
    QAction* P1;
    QAction* T1;
    QAction* N2;

public slots:
    void Radio_SelectWay();
    // The magnifier's mouse events, in source pixels.
    void LupeSourceMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift,
                             const QPoint& pos);
    void LupeSourceMouseMove(Qt::KeyboardModifiers shift, const QPoint& pos);
    void LupeSourceMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void BlinkTimerTimer();
    void Button_ReverseClick();
    void F1Click();
    void P1Click();
    void T1Click();
    void N2Click();

private:
    void createControls();
    bool colourWay() const;

    const TPartsStore& FParts;
    TOverlayMask FOverlay;
    bool MaskDrawing = false;
    int BlinkPhase = 0;
};
