#include "DrawGrid.h"
#include "IniGT.h"
#include "ProgramFixture.h"
#include "ToolGlyphs.h"
#include "main.h"
#include "tool.h"

#include <QAction>
#include <QColorDialog>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

namespace {

class ToolFormTest : public ProgramTest
{
protected:
    TToolForm* Tool() { return Forms().ToolForm; }
    TMainForm* Main() { return Forms().MainForm; }

    QList<QToolButton*> ModeButtons()
    {
        return {Tool()->Button_Paint, Tool()->Button_Region, Tool()->Button_Scroll,
                Tool()->Button_LupeMode};
    }

    int ModeButtonsDown()
    {
        int down = 0;
        for (QToolButton* button : ModeButtons())
            down += button->isChecked() ? 1 : 0;
        return down;
    }

    void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
};

TEST_F(ToolFormTest, StartsInScrollModeWithOnlyTheUpperRow)
{
    TToolForm* tool = Tool();
    EXPECT_TRUE(tool->isVisible());
    EXPECT_EQ(tool->windowTitle(), QStringLiteral("ツールボックス"));
    EXPECT_TRUE(tool->Button_Scroll->isChecked());
    EXPECT_EQ(ModeButtonsDown(), 1);
    EXPECT_TRUE(Main()->N19->isChecked());
    EXPECT_TRUE(tool->ZoomRadio1->isChecked());
    EXPECT_FALSE(tool->Button_LupeMode->isEnabled());

    EXPECT_FALSE(tool->LowerRowShown());
    EXPECT_EQ(tool->size(), QSize(402, 41));
    EXPECT_FALSE(tool->Button_LupeFreeLine->isVisible());

    // The part-graphic tools wait with their first choices.
    EXPECT_TRUE(tool->Button_LupeFreeLine->isChecked());
    EXPECT_TRUE(tool->Button_ThinLine->isChecked());
    EXPECT_EQ(tool->DrawingColor(), QColor(Qt::black));
}

TEST_F(ToolFormTest, ModeButtonsSwitchTheMainWindowsMode)
{
    struct Case
    {
        QToolButton* Button;
        QAction* MenuItem;
    };
    const Case cases[] = {{Tool()->Button_Paint, Main()->N17},
                          {Tool()->Button_Region, Main()->N18},
                          {Tool()->Button_Scroll, Main()->N19},
                          {Tool()->Button_Paint, Main()->N17}};
    for (const Case& c : cases) {
        Click(c.Button);
        EXPECT_TRUE(c.MenuItem->isChecked()) << c.MenuItem->text().toStdString();
        EXPECT_TRUE(c.Button->isChecked());
        EXPECT_EQ(ModeButtonsDown(), 1);
        EXPECT_FALSE(Tool()->LowerRowShown());
    }

    // A mode chosen from the menu shows in the tool box.
    Main()->N18->trigger();
    EXPECT_TRUE(Tool()->Button_Region->isChecked());
    EXPECT_EQ(ModeButtonsDown(), 1);
}

TEST_F(ToolFormTest, ZoomRadiosApplyTheZoomOnlyWhenTheUserChangesIt)
{
    TToolForm* tool = Tool();
    Click(tool->Button_Paint);

    // "zoom" keeps the mode and allows part-graphic editing.
    Click(tool->ZoomRadio4);
    EXPECT_TRUE(tool->ZoomRadio4->isChecked());
    EXPECT_TRUE(Main()->N17->isChecked());
    EXPECT_TRUE(tool->Button_LupeMode->isEnabled());
    const int zoomSize = Main()->MapGrid->DefaultColWidth();

    // A click on the level already chosen changes nothing.
    Click(tool->Button_Region);
    Click(tool->ZoomRadio4);
    EXPECT_TRUE(Main()->N18->isChecked());

    // Checked from code, as the settings do, the radio button applies nothing itself.
    tool->ZoomRadio1->setChecked(true);
    EXPECT_TRUE(Main()->N18->isChecked());
    EXPECT_EQ(Main()->MapGrid->DefaultColWidth(), zoomSize);
    tool->ZoomRadio4->setChecked(true);

    // "wide" from paint mode ends in scroll mode, part-graphic editing disabled again.
    Click(tool->Button_Paint);
    Click(tool->ZoomRadio12);
    EXPECT_TRUE(Main()->N19->isChecked());
    EXPECT_TRUE(tool->Button_Scroll->isChecked());
    EXPECT_EQ(ModeButtonsDown(), 1);
    EXPECT_FALSE(tool->Button_LupeMode->isEnabled());
    EXPECT_LT(Main()->MapGrid->DefaultColWidth(), zoomSize);
}

TEST_F(ToolFormTest, PartGraphicModeShowsTheLowerRow)
{
    TToolForm* tool = Tool();
    Click(tool->ZoomRadio4);
    Click(tool->Button_LupeMode);
    EXPECT_TRUE(Main()->D1->isChecked());
    EXPECT_TRUE(tool->Button_LupeMode->isChecked());
    EXPECT_EQ(ModeButtonsDown(), 1);
    EXPECT_TRUE(tool->LowerRowShown());
    EXPECT_EQ(tool->size(), QSize(402, 82));
    EXPECT_TRUE(tool->Button_RotateRight->isVisible());
    // The lower row lies inside the window.
    const QRect lowest = tool->Button_RotateRight->geometry().translated(
        tool->Button_RotateRight->parentWidget()->pos());
    EXPECT_TRUE(tool->rect().contains(lowest));

    Click(tool->Button_Scroll);
    EXPECT_FALSE(tool->LowerRowShown());
    EXPECT_EQ(tool->size(), QSize(402, 41));
    EXPECT_FALSE(tool->Button_RotateRight->isVisible());

    // From the menu (F4) as well.
    Main()->D1->trigger();
    EXPECT_TRUE(tool->Button_LupeMode->isChecked());
    EXPECT_EQ(tool->size(), QSize(402, 82));
}

TEST_F(ToolFormTest, ClosingHidesAndUnchecksTheViewMenuItem)
{
    ASSERT_TRUE(Main()->N13->isChecked());
    EXPECT_TRUE(Tool()->close());
    EXPECT_FALSE(Tool()->isVisible());
    EXPECT_FALSE(Main()->N13->isChecked());

    Main()->N13->trigger();
    EXPECT_TRUE(Tool()->isVisible());
    EXPECT_TRUE(Main()->N13->isChecked());
}

TEST_F(ToolFormTest, PositionIsKeptOverARestart)
{
    // Nothing stored yet: the window system chooses the place.
    EXPECT_FALSE(Tool()->testAttribute(Qt::WA_Moved));

    Tool()->move(123, 77);
    RestartProgram();
    EXPECT_EQ(Tool()->pos(), QPoint(123, 77));
    TIniGT& ini = IniGT();
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("ToolBox"), QStringLiteral("WindowState.X"), -1), 123);
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("ToolBox"), QStringLiteral("WindowState.Y"), -1), 77);
    // Only the position: the height is the one of the current mode.
    EXPECT_EQ(
        ini.ReadString(QStringLiteral("ToolBox"), QStringLiteral("WindowState.YSize"), QString()),
        QString());
    EXPECT_EQ(Tool()->height(), 41);
}

TEST_F(ToolFormTest, ColourPanelChoosesTheDrawingColour)
{
    TToolForm* tool = Tool();
    Click(tool->ZoomRadio4);
    Click(tool->Button_LupeMode);

    QColor openedWith;
    QColor answer(200, 40, 10);
    int result = QDialog::Accepted;
    Script.Modal = [&](QDialog* dialog) {
        auto* colorDialog = qobject_cast<QColorDialog*>(dialog);
        if (!colorDialog)
            return int(QDialog::Rejected);
        openedWith = colorDialog->currentColor();
        colorDialog->setCurrentColor(answer);
        return result;
    };

    QTest::mouseClick(tool->LupeColorPanel, Qt::LeftButton);
    EXPECT_TRUE(Script.Log.contains(QStringLiteral("modal: ColorDlg")));
    EXPECT_EQ(openedWith, QColor(Qt::black));
    EXPECT_EQ(tool->DrawingColor(), answer);
    const QImage shown = tool->LupeColorPanel->grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.rect().center()), answer);

    // Cancelled: the colour stays, and the dialog opens with it next time.
    answer = QColor(0, 200, 0);
    result = QDialog::Rejected;
    QTest::mouseClick(tool->LupeColorPanel, Qt::LeftButton);
    EXPECT_EQ(openedWith, QColor(200, 40, 10));
    EXPECT_EQ(tool->DrawingColor(), QColor(200, 40, 10));
}

TEST(ToolGlyphsTest, GlyphsAreDistinctPicturesOfTheirSize)
{
    QList<QImage> images;
    for (int i = 0; i < ToolGlyphCount; ++i) {
        const auto glyph = TToolGlyph(i);
        const QImage image = toolGlyphImage(glyph);
        const int size = glyph <= TToolGlyph::Terrain ? 32 : 16;
        ASSERT_FALSE(image.isNull()) << i;
        EXPECT_EQ(image.size(), QSize(size, size)) << i;
        EXPECT_TRUE(image.hasAlphaChannel()) << i;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "background at the corner of " << i;
        EXPECT_NE(disabledToolGlyphImage(glyph), image) << i;
        for (int j = 0; j < images.size(); ++j)
            EXPECT_NE(images[j], image) << j << " and " << i;
        images << image;
    }
}

} // namespace
