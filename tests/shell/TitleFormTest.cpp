#include "CmprsImg.h"
#include "IniFile.h"
#include "ProgramFixture.h"
#include "env.h"
#include "main.h"
#include "title.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QTimer>

namespace {

class TitleFormTest : public ProgramTest
{
protected:
    TTitleForm* Title() { return Forms().TitleForm; }
};

TEST_F(TitleFormTest, ShownAtStartWithItsPictureUntilTheTimerFires)
{
    TTitleForm* title = Title();
    EXPECT_EQ(title->objectName(), QStringLiteral("TitleForm"));
    EXPECT_TRUE(title->isVisible());
    EXPECT_EQ(title->size(), QSize(438, 207));
    EXPECT_TRUE(title->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(title->ClickLabel->isVisible());
    EXPECT_TRUE(title->CloseTimer->isActive());
    EXPECT_EQ(title->CloseTimer->interval(), 3000);

    // The built-in pictures, drawn at build time, decode to their sizes.
    ASSERT_EQ(title->Image->Picture().size(), QSize(438, 207));
    EXPECT_EQ(Forms().EnvDlg->Image1->Picture().size(), QSize(89, 89));
    const QImage shown = title->grab().toImage();
    EXPECT_EQ(shown.pixel(100, 100), title->Image->Picture().pixel(100, 100));

    title->CloseTimer->start(1); // rather than waiting the three seconds out
    QTRY_VERIFY_WITH_TIMEOUT(!title->isVisible(), 2000);
    EXPECT_FALSE(title->CloseTimer->isActive());
}

TEST_F(TitleFormTest, AClickOnThePictureClosesIt)
{
    QTest::mouseClick(Title()->Image, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_FALSE(Title()->isVisible());
    EXPECT_FALSE(Title()->CloseTimer->isActive());
}

TEST_F(TitleFormTest, AboutAlsoClosesWithEscape)
{
    TTitleForm* title = Title();
    Script.ModalWindow = [&](QWidget* window) {
        EXPECT_TRUE(window->isVisible());
        QTest::keyClick(window, Qt::Key_Escape);
    };
    Forms().MainForm->About1->trigger();
    EXPECT_FALSE(title->isVisible());
}

TEST_F(TitleFormTest, SwitchedOffItStaysHiddenButAboutStillShowsIt)
{
    Script.Modal = [](QDialog* dialog) {
        qobject_cast<TEnvDlg*>(dialog)->Check_ShowTitleWindow->setChecked(false);
        return int(QDialog::Accepted);
    };
    Forms().MainForm->N14Click();
    RestartProgram();
    TTitleForm* title = Title();
    EXPECT_FALSE(title->isVisible());
    EXPECT_FALSE(title->CloseTimer->isActive());

    // About waits, modal, for a click on the window.
    bool labelShown = false, timerActive = true, modal = false;
    Script.Log.clear();
    Script.ModalWindow = [&](QWidget* window) {
        EXPECT_EQ(window, title);
        labelShown = title->ClickLabel->isVisible();
        timerActive = title->CloseTimer->isActive();
        modal = title->isVisible() && title->windowModality() == Qt::ApplicationModal;
        QTest::mouseClick(title, Qt::LeftButton, {}, title->ClickLabel->geometry().center());
    };
    Forms().MainForm->About1->trigger();
    EXPECT_EQ(Script.Log, QStringList{"modal: TitleForm"});
    EXPECT_TRUE(labelShown);
    EXPECT_FALSE(timerActive);
    EXPECT_TRUE(modal);
    EXPECT_FALSE(title->isVisible());
    EXPECT_EQ(title->ClickLabel->text(), QStringLiteral("Click this window."));
}

} // namespace
