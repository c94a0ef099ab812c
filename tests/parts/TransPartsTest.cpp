#include "transparts.h"

#include "LupeUnit.h"
#include "ProgramFixture.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

namespace {

// A small source: background A, split by a stripe S in column 2, with one pixel of a colour
// U found nowhere else.
constexpr QRgb A = 0xff1080f0;
constexpr QRgb S = 0xffc03030;
constexpr QRgb U = 0xff010203;
constexpr QRgb T = 0xfff0f000; // the target's colour

QImage smallSource()
{
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(A);
    for (int y = 0; y < 4; ++y)
        image.setPixel(2, y, S);
    image.setPixel(4, 1, U);
    return image;
}

QImage plain(int w, int h, QRgb c, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(w, h, format);
    image.fill(c);
    return image;
}

// Rows of '#' (opaque: the source shows) and '.' (transparent: the target shows), joined
// by '/'.
std::string overlaidArt(const QImage& source, const QImage& overlaid, QRgb target)
{
    QStringList rows;
    for (int y = 0; y < overlaid.height(); ++y) {
        QString row;
        for (int x = 0; x < overlaid.width(); ++x) {
            const QRgb c = overlaid.pixel(x, y);
            row += c == source.pixel(x, y) ? '#' : c == target ? '.' : '?';
        }
        rows << row;
    }
    return rows.join('/').toStdString();
}

} // namespace

// The mask drawing, the colour pick, the reversal and the overlay, row by row: what each
// leaves transparent, read back through OverlayOnto onto a plain target.
TEST(OverlayMaskTest, EditsDecideWhichPixelsOverlay)
{
    struct Row
    {
        const char* name;
        std::function<void(TOverlayMask&)> edit;
        std::string expected;
    };
    const Row rows[] = {
        {"untouched: everything opaque", [](TOverlayMask&) {}, "######/######/######/######"},
        {"reversed: everything transparent", [](TOverlayMask& m) { m.Reverse(); },
         "....../....../....../......"},
        {"a colour found once", [](TOverlayMask& m) { m.MakeFromColour(U); },
         "######/####.#/######/######"},
        {"the background, on both sides of the stripe",
         [](TOverlayMask& m) { m.MakeFromColour(A); }, "..#.../..#.#./..#.../..#..."},
        {"a new colour discards the old mask",
         [](TOverlayMask& m) {
             m.Reverse();
             m.MakeFromColour(S);
         },
         "##.###/##.###/##.###/##.###"},
        {"a colour that is nowhere", [](TOverlayMask& m) { m.MakeFromColour(0xff123456); },
         "######/######/######/######"},
        {"a stroke along a row",
         [](TOverlayMask& m) {
             m.SetPixel(0, 3, true);
             m.LineTo(5, 3, true);
         },
         "######/######/######/......"},
        {"a diagonal stroke, then back up a column",
         [](TOverlayMask& m) {
             m.SetPixel(0, 0, true);
             m.LineTo(3, 3, true);
             m.LineTo(3, 1, true);
         },
         ".#####/#.#.##/##..##/###.##"},
        {"strokes clipped at the edges",
         [](TOverlayMask& m) {
             m.SetPixel(-3, 1, true);
             m.LineTo(9, 1, true);
         },
         "######/....../######/######"},
        {"an opaque stroke over a transparent mask",
         [](TOverlayMask& m) {
             m.Reverse();
             m.SetPixel(1, 0, false);
             m.LineTo(1, 3, false);
         },
         ".#..../.#..../.#..../.#...."},
        {"a fill of the all-opaque mask", [](TOverlayMask& m) { m.Fill(3, 2, true); },
         "....../....../....../......"},
        {"a fill stops at a stroke",
         [](TOverlayMask& m) {
             m.SetPixel(3, 0, true);
             m.LineTo(3, 3, true);
             m.Fill(0, 0, true);
         },
         "....##/....##/....##/....##"},
        {"a fill does not pass a diagonal (four neighbours)",
         [](TOverlayMask& m) {
             m.SetPixel(0, 0, true);
             m.LineTo(3, 3, true);
             m.Fill(5, 0, true);
         },
         "....../#...../##..../###..."},
        {"an opaque fill of a transparent area",
         [](TOverlayMask& m) {
             m.MakeFromColour(A);
             m.Fill(5, 3, false);
         },
         "..####/..####/..####/..####"},
        {"a fill with the area's own value changes nothing",
         [](TOverlayMask& m) {
             m.MakeFromColour(U);
             m.Fill(0, 0, false);
         },
         "######/####.#/######/######"},
        {"a fill outside the picture changes nothing",
         [](TOverlayMask& m) {
             m.Fill(-1, 0, true);
             m.Fill(6, 3, true);
         },
         "######/######/######/######"},
        {"a picked mask with a stroke added",
         [](TOverlayMask& m) {
             m.MakeFromColour(U);
             m.SetPixel(0, 3, true);
             m.LineTo(1, 3, true);
         },
         "######/####.#/######/..####"},
        {"a picked mask reversed",
         [](TOverlayMask& m) {
             m.MakeFromColour(A);
             m.Reverse();
         },
         "##.###/##.#.#/##.###/##.###"},
    };
    const QImage source = smallSource();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TOverlayMask mask;
        mask.SetSource(source);
        row.edit(mask);
        QImage target = plain(6, 4, T);
        mask.OverlayOnto(target);
        EXPECT_EQ(overlaidArt(source, target, T), row.expected);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(mask.IsTransparent(x, y), row.expected[y * 7 + x] == '.')
                    << x << "," << y;
        }
        // Only exactly white and exactly black in the mask.
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) {
                const QRgb m = mask.Mask().pixel(x, y) & 0xffffff;
                EXPECT_TRUE(m == 0xffffff || m == 0) << x << "," << y;
            }
        }
    }
}

TEST(OverlayMaskTest, OverlayTouchesOnlyTheSourcesArea)
{
    TOverlayMask mask;
    mask.SetSource(smallSource());
    mask.MakeFromColour(A);

    // A larger target keeps everything beyond the source.
    QImage large = plain(8, 6, T);
    mask.OverlayOnto(large);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool fromSource = x < 6 && y < 4 && !mask.IsTransparent(x, y);
            EXPECT_EQ(large.pixel(x, y), fromSource ? smallSource().pixel(x, y) : T)
                << x << "," << y;
        }
    }

    // A smaller one, and targets of other formats, are covered where they overlap.
    for (QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888}) {
        QImage small = plain(3, 2, T, format);
        mask.OverlayOnto(small);
        EXPECT_EQ(small.format(), format);
        EXPECT_EQ(overlaidArt(smallSource(), small, T), "..#/..#") << format;
    }
}

TEST(OverlayMaskTest, BlinkPicturesShowTheTransparentAreaInverted)
{
    TOverlayMask mask;
    mask.SetSource(smallSource());
    // All opaque: both phases show the source.
    EXPECT_EQ(mask.BlinkPicture(0), smallSource());
    EXPECT_EQ(mask.BlinkPicture(1), smallSource());

    mask.MakeFromColour(S);
    EXPECT_EQ(mask.BlinkPicture(0), smallSource());
    const QImage inverted = mask.BlinkPicture(1);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            const QRgb expected =
                x == 2 ? qRgb(255 - 0xc0, 255 - 0x30, 255 - 0x30) : smallSource().pixel(x, y);
            EXPECT_EQ(inverted.pixel(x, y), expected) << x << "," << y;
        }
    }

    // A new source starts all opaque again.
    mask.SetSource(plain(2, 2, U));
    EXPECT_EQ(mask.BlinkPicture(1), plain(2, 2, U));
}

namespace {

constexpr QRgb Background = 0xff00a0ff;
constexpr QRgb Stripe = 0xffc83232;
constexpr QRgb Lonely = 0xff7f1020;
constexpr QRgb TargetColour = 0xfff0f010;
constexpr int SourcePart = 5;
constexpr int TargetPart = 9;

// The source part: Background, cut in two by a Stripe in column 10, with one Lonely pixel
// at (20, 20).
QImage sourcePicture(int w = 32, int h = 32)
{
    QImage image = plain(w, h, Background);
    for (int y = 0; y < h; ++y)
        image.setPixel(10, y, Stripe);
    image.setPixel(20, 20, Lonely);
    return image;
}

QRgb inverted(QRgb c)
{
    return 0xff000000 | (~c & 0xffffff);
}

} // namespace

class TransPartsDlgTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        TimerRanAtStart = D().BlinkTimer->isActive();
        // The tests drive the blinking themselves.
        D().BlinkTimer->stop();
        PartsStore().CapturePart(SourcePart, sourcePicture(), 0, 0);
        PartsStore().CapturePart(TargetPart, plain(32, 32, TargetColour), 0, 0);
    }

    TTranslucenPartsDlg& D() { return *Forms().TranslucenPartsDlg; }
    QWidget* LupeView() { return D().Lupe->viewport(); }

    // Prepares for the source part and shows the dialog (not modally: the test is the user).
    void Open(int part = SourcePart)
    {
        D().SetSourcePart(part);
        D().show();
        QCoreApplication::processEvents();
    }

    // The middle of a source pixel's block on the magnifier.
    QPoint At(int x, int y) const { return QPoint(x * 8 + 3, y * 8 + 3); }

    void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(LupeView(), button, {}, At(x, y));
    }
    void Move(int x, int y, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        QMouseEvent move(QEvent::MouseMove, At(x, y), LupeView()->mapToGlobal(At(x, y)),
                         Qt::NoButton, buttons, {});
        QApplication::sendEvent(LupeView(), &move);
    }
    void Release(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(LupeView(), button, {}, At(x, y));
    }
    // A right click as the window system delivers it: the press brings the context menu.
    void RightClick(int x, int y)
    {
        Press(x, y, Qt::RightButton);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, At(x, y),
                               LupeView()->mapToGlobal(At(x, y)));
        QApplication::sendEvent(LupeView(), &menu);
        Release(x, y, Qt::RightButton);
    }
    void Stroke(QPoint from, QPoint to)
    {
        Press(from.x(), from.y());
        Move(to.x(), to.y());
        Release(to.x(), to.y());
    }

    void ChooseMaskWay() { QTest::mouseClick(D().Radio_MaskWay, Qt::LeftButton); }
    void ChooseColourWay() { QTest::mouseClick(D().Radio_ColorWay, Qt::LeftButton); }

    // What the caller does on OK: the source laid over a copy of the target part.
    QImage Overlaid()
    {
        QImage target = PartsStore().PartBitmap(TargetPart).copy();
        D().OverlayOnto(target);
        return target;
    }
    bool TransparentAt(const QImage& overlaid, int x, int y)
    {
        return overlaid.pixel(x, y) == TargetColour;
    }
    int TransparentCount(const QImage& overlaid)
    {
        int count = 0;
        for (int y = 0; y < overlaid.height(); ++y) {
            for (int x = 0; x < overlaid.width(); ++x)
                count += TransparentAt(overlaid, x, y);
        }
        return count;
    }

    // The colour the magnifier shows for a source pixel, as grabbed from the screen.
    QRgb Shown(int x, int y) { return LupeView()->grab().toImage().pixel(At(x, y)); }

    bool TimerRanAtStart = false;
};

TEST_F(TransPartsDlgTest, StartsAsTheFormSaysAndBlinksFromTheStart)
{
    TTranslucenPartsDlg& d = D();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("透明色を指定して下さい"));
    EXPECT_EQ(d.size(), QSize(422, 324));
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(TimerRanAtStart);
    EXPECT_EQ(d.BlinkTimer->interval(), 500);

    const struct
    {
        QAbstractButton* button;
        QString text;
    } captions[] = {
        {d.Radio_ColorWay, QStringLiteral("色指定")},
        {d.Radio_MaskWay, QStringLiteral("マスク指定")},
        {d.Radio_Trans, QStringLiteral("透過部分")},
        {d.Radio_NotTrans, QStringLiteral("非透過部分")},
        {d.OKBtn, QStringLiteral("OK")},
        {d.CancelBtn, QStringLiteral("キャンセル")},
    };
    for (const auto& c : captions)
        EXPECT_EQ(c.button->text(), c.text);
    EXPECT_EQ(d.Box_ColorWay->title(), QStringLiteral("透過色"));
    EXPECT_EQ(d.Box_MaskWay->title(), QStringLiteral("マスク指定"));
    EXPECT_EQ(d.ColorPanel->toolTip(), QStringLiteral("選択した色が示されています"));
    EXPECT_EQ(d.Button_Reverse->toolTip(), QStringLiteral("マスクの反転"));
    EXPECT_TRUE(d.OKBtn->isDefault());

    QStringList items;
    for (QAction* action : d.PopupMenu->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(items, (QStringList{QStringLiteral("フリーラインモード(&F)"),
                                  QStringLiteral("塗りつぶしモード(&P)"), QStringLiteral("-"),
                                  QStringLiteral("透過部分指定(&T)"),
                                  QStringLiteral("非透過部分指定(&N)")}));

    // The colour way, nothing picked, free-line mode, strokes transparent.
    EXPECT_TRUE(d.Radio_ColorWay->isChecked());
    EXPECT_TRUE(d.Box_ColorWay->isVisibleTo(&d));
    EXPECT_FALSE(d.Box_MaskWay->isVisibleTo(&d));
    EXPECT_FALSE(d.ColorPanel->isVisibleTo(&d));
    EXPECT_EQ(d.Lupe->PopupMenu(), nullptr);
    EXPECT_TRUE(d.Button_FreeLine->isChecked());
    EXPECT_FALSE(d.Button_Paint->isChecked());
    EXPECT_TRUE(d.Radio_Trans->isChecked());
    EXPECT_EQ(d.Lupe->Power(), 8);
    EXPECT_TRUE(d.Lupe->DrawGrid());
    EXPECT_EQ(d.Lupe->Style(), lsStandard);
    EXPECT_EQ(d.ScrollBox1->size(), QSize(281, 273));

    d.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(d.StatusBar->currentMessage().isEmpty());
    for (QLabel* panel : d.StatusBar->findChildren<QLabel*>())
        EXPECT_TRUE(panel->text().isEmpty());
}

// The magnifier is sized to the whole part, whatever the part size; the box scrolls a part
// larger than itself.
TEST_F(TransPartsDlgTest, MagnifierShowsTheWholePart)
{
    Open();
    EXPECT_EQ(D().Lupe->size(), QSize(256, 256));
    EXPECT_EQ(D().Lupe->Bitmap(), sourcePicture());
    EXPECT_EQ(D().Lupe->VisibleCols(), 32);
    EXPECT_EQ(D().Lupe->VisibleRows(), 32);
    EXPECT_EQ(Shown(20, 20), Lonely);
    EXPECT_EQ(Shown(10, 3), Stripe);

    PartsStore().SetPartsSize(48, 40);
    PartsStore().CapturePart(SourcePart, sourcePicture(48, 40), 0, 0);
    Open();
    EXPECT_EQ(D().Lupe->size(), QSize(384, 320));
    EXPECT_EQ(D().Lupe->VisibleCols(), 48);
    EXPECT_EQ(D().Lupe->VisibleRows(), 40);
    EXPECT_GT(D().ScrollBox1->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(D().ScrollBox1->verticalScrollBar()->maximum(), 0);

    // The whole part overlays a part of its own size.
    QImage target = plain(48, 40, TargetColour);
    D().OverlayOnto(target);
    EXPECT_EQ(target, sourcePicture(48, 40));
}

TEST_F(TransPartsDlgTest, OkWithoutActionCopiesTheSourceAndReversedLeavesTheTarget)
{
    // As the callers run it: prepare, show modally, on OK overlay and store the part.
    Script.Modal = [](QDialog* dialog) {
        auto* d = static_cast<TTranslucenPartsDlg*>(dialog);
        d->show();
        d->OKBtn->click();
        return d->result();
    };
    D().SetSourcePart(SourcePart);
    ASSERT_EQ(RunModal(&D()), QDialog::Accepted);
    EXPECT_TRUE(Script.Log.contains(QStringLiteral("modal: TranslucenPartsDlg")));
    QImage target = PartsStore().PartBitmap(TargetPart).copy();
    D().OverlayOnto(target);
    PartsStore().CapturePart(TargetPart, target, 0, 0);
    EXPECT_EQ(PartsStore().PartBitmap(TargetPart), sourcePicture());

    PartsStore().CapturePart(TargetPart, plain(32, 32, TargetColour), 0, 0);
    Open();
    QTest::mouseClick(D().Button_Reverse, Qt::LeftButton);
    EXPECT_EQ(Overlaid(), plain(32, 32, TargetColour));
    // Reversing twice is the untouched mask again.
    D().Button_ReverseClick();
    EXPECT_EQ(Overlaid(), sourcePicture());
}

TEST_F(TransPartsDlgTest, EnterAcceptsAndEscapeCancels)
{
    SetDialogScript(nullptr);
    D().SetSourcePart(SourcePart);
    for (auto [key, result] : {std::pair{Qt::Key_Escape, int(QDialog::Rejected)},
                               std::pair{Qt::Key_Return, int(QDialog::Accepted)}}) {
        QTimer::singleShot(0, &D(), [this, key = key] { QTest::keyClick(D().Radio_MaskWay, key); });
        EXPECT_EQ(RunModal(&D()), result) << key;
        EXPECT_FALSE(D().isVisible());
    }
    SetDialogScript(&Script);
}

TEST_F(TransPartsDlgTest, AClickOnTheCheckedWayKeepsItChecked)
{
    Open();
    for (QRadioButton* way : {D().Radio_ColorWay, D().Radio_MaskWay}) {
        QTest::mouseClick(way, Qt::LeftButton, {}, QPoint(6, way->height() / 2));
        QTest::mouseClick(way, Qt::LeftButton, {}, QPoint(6, way->height() / 2));
        EXPECT_TRUE(way->isChecked()) << way->objectName().toStdString();
        EXPECT_NE(D().Radio_ColorWay->isChecked(), D().Radio_MaskWay->isChecked());
    }
}

TEST_F(TransPartsDlgTest, ColourWayPicksAColourWithTheMouse)
{
    Open();
    // A colour found once: only that pixel.
    Press(20, 20);
    Release(20, 20);
    EXPECT_TRUE(D().ColorPanel->isVisible());
    EXPECT_EQ(D().ColorPanel->palette().color(QPalette::Window).rgb(), Lonely);
    QImage overlaid = Overlaid();
    EXPECT_EQ(TransparentCount(overlaid), 1);
    EXPECT_TRUE(TransparentAt(overlaid, 20, 20));

    // The background: both sides of the stripe, and the earlier pick is gone.
    Press(30, 2);
    Release(30, 2);
    EXPECT_EQ(D().ColorPanel->palette().color(QPalette::Window).rgb(), Background);
    overlaid = Overlaid();
    EXPECT_EQ(TransparentCount(overlaid), 32 * 32 - 32 - 1);
    EXPECT_TRUE(TransparentAt(overlaid, 0, 0));
    EXPECT_TRUE(TransparentAt(overlaid, 31, 31));
    EXPECT_FALSE(TransparentAt(overlaid, 10, 5));
    EXPECT_EQ(overlaid.pixel(20, 20), Lonely);

    // Moving with the button down in the colour way draws nothing; other buttons pick
    // nothing.
    Press(10, 0);
    Move(0, 0);
    Move(31, 0);
    Release(31, 0);
    EXPECT_EQ(TransparentCount(Overlaid()), 32);
    Press(0, 0, Qt::MiddleButton);
    Release(0, 0, Qt::MiddleButton);
    EXPECT_EQ(D().ColorPanel->palette().color(QPalette::Window).rgb(), Stripe);
    EXPECT_EQ(TransparentCount(Overlaid()), 32);
}

TEST_F(TransPartsDlgTest, MaskWayDrawsFreeLinesAndFills)
{
    Open();
    ChooseMaskWay();
    EXPECT_FALSE(D().Box_ColorWay->isVisible());
    EXPECT_TRUE(D().Box_MaskWay->isVisible());
    EXPECT_EQ(D().Lupe->PopupMenu(), D().PopupMenu);

    // A stroke along row 3 from column 1 to 6, through the pointer's moves.
    Press(1, 3);
    Move(4, 3);
    Move(6, 3);
    Release(6, 3);
    QImage overlaid = Overlaid();
    EXPECT_EQ(TransparentCount(overlaid), 6);
    for (int x = 1; x <= 6; ++x)
        EXPECT_TRUE(TransparentAt(overlaid, x, 3)) << x;

    // Moves after the release draw nothing, nor does a right-button press.
    Move(6, 9, Qt::NoButton);
    RightClick(8, 8);
    Move(9, 9, Qt::NoButton);
    D().PopupMenu->hide();
    EXPECT_EQ(TransparentCount(Overlaid()), 6);

    // An opaque stroke takes pixels back.
    QTest::mouseClick(D().Radio_NotTrans, Qt::LeftButton);
    Stroke({3, 0}, {3, 5});
    overlaid = Overlaid();
    EXPECT_EQ(TransparentCount(overlaid), 5);
    EXPECT_FALSE(TransparentAt(overlaid, 3, 3));

    // The opaque pixels are one area (the stroke taken back joins the two sides): a
    // transparent fill from (0, 0) takes them all.
    QTest::mouseClick(D().Radio_Trans, Qt::LeftButton);
    QTest::mouseClick(D().Button_Paint, Qt::LeftButton);
    EXPECT_TRUE(D().Button_Paint->isChecked());
    EXPECT_FALSE(D().Button_FreeLine->isChecked());
    Press(0, 0);
    Move(31, 31); // moving does nothing in paint mode
    Release(31, 31);
    EXPECT_EQ(TransparentCount(Overlaid()), 32 * 32);

    // An opaque fill of the now all-transparent mask.
    QTest::mouseClick(D().Radio_NotTrans, Qt::LeftButton);
    Press(12, 12);
    Release(12, 12);
    EXPECT_EQ(Overlaid(), sourcePicture());
}

TEST_F(TransPartsDlgTest, FillStopsAtAStrokedBorder)
{
    Open();
    ChooseMaskWay();
    // A box outline, then a fill inside it.
    Stroke({4, 4}, {12, 4});
    Stroke({12, 4}, {12, 12});
    Stroke({12, 12}, {4, 12});
    Stroke({4, 12}, {4, 4});
    EXPECT_EQ(TransparentCount(Overlaid()), 32);
    D().P1Click();
    Press(8, 8);
    Release(8, 8);
    QImage overlaid = Overlaid();
    EXPECT_EQ(TransparentCount(overlaid), 9 * 9);
    EXPECT_TRUE(TransparentAt(overlaid, 8, 8));
    EXPECT_FALSE(TransparentAt(overlaid, 3, 8));
    EXPECT_FALSE(TransparentAt(overlaid, 13, 13));
}

TEST_F(TransPartsDlgTest, PickedMaskIsKeptInTheMaskWay)
{
    Open();
    Press(20, 20);
    Release(20, 20);
    ChooseMaskWay();
    Stroke({0, 0}, {2, 0});
    QImage overlaid = Overlaid();
    EXPECT_EQ(TransparentCount(overlaid), 4);
    EXPECT_TRUE(TransparentAt(overlaid, 20, 20));
    EXPECT_TRUE(TransparentAt(overlaid, 2, 0));

    // Back in the colour way the drawn mask still stands until a colour is picked.
    ChooseColourWay();
    EXPECT_TRUE(D().Box_ColorWay->isVisible());
    EXPECT_FALSE(D().Box_MaskWay->isVisible());
    EXPECT_EQ(D().Lupe->PopupMenu(), nullptr);
    EXPECT_EQ(TransparentCount(Overlaid()), 4);
    Press(10, 10);
    Release(10, 10);
    EXPECT_EQ(TransparentCount(Overlaid()), 32);
}

TEST_F(TransPartsDlgTest, NewSourceResetsTheMaskAndModesButKeepsTheWay)
{
    Open();
    Press(20, 20);
    Release(20, 20);
    ChooseMaskWay();
    D().P1Click();
    D().N2Click();
    // A press left unreleased must not draw into the next part's mask.
    D().F1Click();
    D().T1Click();
    Press(0, 0);

    PartsStore().CapturePart(6, plain(32, 32, Lonely), 0, 0);
    Open(6);
    Move(5, 0);
    Release(5, 0);
    EXPECT_TRUE(D().Button_FreeLine->isChecked());
    EXPECT_TRUE(D().Radio_Trans->isChecked());
    EXPECT_FALSE(D().ColorPanel->isVisibleTo(&D()));
    EXPECT_TRUE(D().Radio_MaskWay->isChecked());
    EXPECT_TRUE(D().Box_MaskWay->isVisible());
    EXPECT_EQ(D().Lupe->PopupMenu(), D().PopupMenu);
    EXPECT_EQ(D().Lupe->Bitmap(), plain(32, 32, Lonely));
    EXPECT_EQ(Overlaid(), plain(32, 32, Lonely));
}

TEST_F(TransPartsDlgTest, PopupMenuOnlyInTheMaskWay)
{
    Open();
    RightClick(5, 5);
    EXPECT_FALSE(D().PopupMenu->isVisible());

    ChooseMaskWay();
    RightClick(5, 5);
    EXPECT_TRUE(D().PopupMenu->isVisible());
    D().PopupMenu->hide();

    // Its items set the mode and the kind of stroke.
    const struct
    {
        QAction* item;
        QAbstractButton* checked;
    } items[] = {
        {D().P1, D().Button_Paint},
        {D().F1, D().Button_FreeLine},
        {D().N2, D().Radio_NotTrans},
        {D().T1, D().Radio_Trans},
    };
    for (const auto& i : items) {
        i.item->trigger();
        EXPECT_TRUE(i.checked->isChecked()) << i.item->text().toStdString();
    }
    D().P1->trigger();
    EXPECT_FALSE(D().Button_FreeLine->isChecked());
    D().N2->trigger();
    EXPECT_FALSE(D().Radio_Trans->isChecked());

    ChooseColourWay();
    RightClick(5, 5);
    EXPECT_FALSE(D().PopupMenu->isVisible());
}

// The transparent area shows inverted on every other tick; the dialog's blink phase goes
// on from one source to the next.
TEST_F(TransPartsDlgTest, TransparentAreaBlinks)
{
    Open();
    // All opaque: the ticks never change the picture.
    for (int tick = 0; tick < 4; ++tick) {
        D().BlinkTimerTimer();
        EXPECT_EQ(D().Lupe->Bitmap(), sourcePicture()) << tick;
        EXPECT_EQ(Shown(20, 20), Lonely);
    }

    Press(20, 20);
    Release(20, 20);
    // Which phase comes next is whatever the ticks so far left; find it.
    D().BlinkTimerTimer();
    if (Shown(20, 20) == Lonely)
        D().BlinkTimerTimer();
    EXPECT_EQ(Shown(20, 20), inverted(Lonely));
    EXPECT_EQ(Shown(19, 20), Background);
    EXPECT_EQ(Shown(10, 0), Stripe);
    D().BlinkTimerTimer();
    EXPECT_EQ(Shown(20, 20), Lonely);
    D().BlinkTimerTimer();
    EXPECT_EQ(Shown(20, 20), inverted(Lonely));

    // A mask edit shows at the next inverted tick, not before.
    ChooseMaskWay();
    Press(0, 0);
    Release(0, 0);
    EXPECT_EQ(Shown(0, 0), Background);
    D().BlinkTimerTimer();
    EXPECT_EQ(Shown(0, 0), Background);
    D().BlinkTimerTimer();
    EXPECT_EQ(Shown(0, 0), inverted(Background));
    EXPECT_EQ(Shown(20, 20), inverted(Lonely));

    // The phase carries over to the next source: after a normal tick the next one inverts.
    D().BlinkTimerTimer();
    EXPECT_EQ(Shown(0, 0), Background);
    Open();
    D().Button_ReverseClick();
    EXPECT_EQ(Shown(3, 3), Background);
    D().BlinkTimerTimer();
    EXPECT_EQ(Shown(3, 3), inverted(Background));
    EXPECT_EQ(Shown(10, 3), inverted(Stripe));

    // The ticks come from the dialog's own timer.
    QMetaObject::invokeMethod(D().BlinkTimer, "timeout");
    EXPECT_EQ(Shown(3, 3), Background);
    QMetaObject::invokeMethod(D().BlinkTimer, "timeout");
    EXPECT_EQ(Shown(3, 3), inverted(Background));
}
