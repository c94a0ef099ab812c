#include "Parts.h"
#include "ProgramFixture.h"
#include "main.h"
#include "new.h"
#include "replace.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

namespace {

class CommandDialogsTest : public ProgramTest
{
protected:
    static QPushButton* Button(QDialog* dialog, const QString& text)
    {
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == text)
                return button;
        }
        return nullptr;
    }
};

TEST_F(CommandDialogsTest, NewMapRefusesPartSizesBelowOneAndStaysOpen)
{
    TNewCreateDlg* dialog = Forms().NewCreateDlg;
    EXPECT_EQ(dialog->Spin_NewWidth->value(), 101);
    EXPECT_EQ(dialog->Spin_NewHeight->value(), 101);
    EXPECT_EQ(dialog->Spin_NewPartsWidth->value(), 32);
    EXPECT_EQ(dialog->Spin_NewPartsHeight->value(), 32);
    ASSERT_TRUE(Button(dialog, "OK") && Button(dialog, "OK")->isDefault());

    // The real modal loop: OK with a part height of 0 must not end it.
    bool openAfterRefusal = false;
    Script.Modal = [&](QDialog* shown) {
        QTimer::singleShot(0, shown, [&] {
            dialog->Spin_NewWidth->setValue(20);
            dialog->Spin_NewHeight->setValue(7);
            dialog->Spin_NewPartsHeight->setValue(0);
            Button(dialog, "OK")->click();
            openAfterRefusal = dialog->isVisible();
            dialog->Spin_NewPartsHeight->setValue(16);
            Button(dialog, "OK")->click();
        });
        QTimer::singleShot(5000, shown, &QDialog::reject); // never hang the run
        return shown->exec();
    };
    Forms().MainForm->N1Click();

    EXPECT_TRUE(openAfterRefusal);
    EXPECT_EQ(Script.Log, (QStringList{"modal: NewCreateDlg",
                                       "error: １パーツのドット数は１以上を指定して下さい"}));
    EXPECT_EQ(Forms().MainForm->MapWidth(), 20);
    EXPECT_EQ(Forms().MainForm->MapHeight(), 7);
    EXPECT_EQ(Forms().PartsForm->PartHeight(), 16);
}

TEST_F(CommandDialogsTest, FieldsClampToTheirRanges)
{
    TNewCreateDlg* create = Forms().NewCreateDlg;
    create->Spin_NewWidth->setValue(0);
    create->Spin_NewHeight->setValue(12345);
    EXPECT_EQ(create->Spin_NewWidth->value(), 1);
    EXPECT_EQ(create->Spin_NewHeight->value(), 9999);
    create->Spin_NewPartsWidth->setValue(-3); // typed as is, refused on OK
    EXPECT_EQ(create->Spin_NewPartsWidth->value(), -3);

    TReplaceDlg* replace = Forms().ReplaceDlg;
    EXPECT_EQ(replace->Spin_BeforParts->value(), 0);
    replace->Spin_BeforParts->setValue(300);
    replace->Spin_AfterParts->setValue(-1);
    EXPECT_EQ(replace->Spin_BeforParts->value(), 255);
    EXPECT_EQ(replace->Spin_AfterParts->value(), 0);
}

TEST_F(CommandDialogsTest, ReplaceDialogClosesWithOkOnEnterAndCancelOnEscape)
{
    TReplaceDlg* replace = Forms().ReplaceDlg;
    Script.Modal = [](QDialog* dialog) { return dialog->exec(); };
    auto runWithKey = [&](Qt::Key key) {
        QTimer::singleShot(0, replace, [=] { QTest::keyClick(replace, key); });
        QTimer::singleShot(5000, replace, &QDialog::reject); // never hang the run
        return RunModal(replace);
    };
    replace->Spin_AfterParts->setValue(9);
    EXPECT_EQ(runWithKey(Qt::Key_Return), int(QDialog::Accepted));
    EXPECT_EQ(runWithKey(Qt::Key_Escape), int(QDialog::Rejected));
    EXPECT_EQ(replace->Spin_AfterParts->value(), 9); // kept from one showing to the next
    EXPECT_EQ(Script.Log, (QStringList{"modal: ReplaceDlg", "modal: ReplaceDlg"}));
}

} // namespace
