#include "CmprsImg.h"
#include "DrawGrid.h"
#include "IniFile.h"
#include "Parts.h"
#include "PartsStore.h"
#include "ProgramFixture.h"
#include "env.h"
#include "main.h"
#include "title.h"
#include "tool.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

namespace {

class EnvDlgTest : public ProgramTest
{
protected:
    TEnvDlg* Env() { return Forms().EnvDlg; }

    // The "options" section of the file as written, "key=value" in file order.
    QStringList OptionsInFile()
    {
        QFile file(IniPath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QStringList lines;
        bool inOptions = false;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            const QString text = line.trimmed();
            if (text.startsWith(QLatin1Char('[')))
                inOptions = text == QStringLiteral("[options]");
            else if (inOptions && !text.isEmpty())
                lines << text;
        }
        return lines;
    }

    // Ends the program, puts the values into its file and starts it again.
    void RestartWith(const QList<std::pair<QString, QString>>& options)
    {
        Program.reset();
        TIniFile ini(IniPath());
        for (const auto& [key, value] : options)
            ASSERT_TRUE(ini.WriteString(QStringLiteral("options"), key, value));
        StartProgram();
    }

    // Every control's value, in the order the settings are stored.
    QStringList Controls()
    {
        TEnvDlg* env = Env();
        auto flag = [](const QAbstractButton* b) { return QString::number(b->isChecked()); };
        return {flag(env->Check_ShowTitleWindow),
                QString::number(env->Spin_WideSize->value()),
                QString::number(env->Spin_NormalSize->value()),
                QString::number(env->Spin_ZoomSize->value()),
                flag(env->Check_PartsOnTop),
                flag(env->Check_ToolsOnTop),
                flag(env->Check_NonDim),
                env->Edit_ExtName->text(),
                QString::number(env->SaveFormat()),
                QString::number(env->LoadFormat())};
    }

    bool OnTop(QWidget* window) const
    {
        return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    }
};

TEST_F(EnvDlgTest, FirstRunShowsTheDefaultsAndWritesExactlyThem)
{
    TEnvDlg* env = Env();
    const QStringList defaults = {"1", "8", "32", "256", "0", "1", "1", "mpd", "2", "2"};
    EXPECT_EQ(Controls(), defaults);
    EXPECT_FALSE(env->Check_NonDim->isEnabled());
    EXPECT_EQ(env->Image1->Picture().size(), QSize(89, 89));

    // The settings are in force at start: the tool box and the title stay on top.
    EXPECT_FALSE(OnTop(Forms().PartsForm));
    EXPECT_TRUE(OnTop(Forms().ToolForm));
    EXPECT_TRUE(OnTop(Forms().TitleForm));
    EXPECT_TRUE(Forms().TitleForm->isVisible()); // re-shown after its flags changed
    EXPECT_EQ(Forms().MainForm->MapDialogExtension(), QStringLiteral("mpd"));

    Program.reset();
    const QStringList expected = {"isShowTitle=1",   "Lupe.Wide=8",        "Lupe.Normal=32",
                                  "Lupe.Zoom=256",   "isPartsOnTop=0",     "isToolsOnTop=1",
                                  "isNonDim=1",      "DefaultExtName=mpd", "SaveFormatType=2",
                                  "LoadFormatType=2"};
    EXPECT_EQ(OptionsInFile(), expected);
}

TEST_F(EnvDlgTest, OddStoredValuesAreClampedAndWrittenBackCorrected)
{
    RestartWith({{"SaveFormatType", "5"},
                 {"LoadFormatType", "1"},
                 {"Lupe.Zoom", "0"},
                 {"Lupe.Wide", "200000"}});
    EXPECT_TRUE(Env()->Radio_SaveFormat2->isChecked());
    EXPECT_EQ(Env()->SaveFormat(), 2);
    EXPECT_EQ(Env()->LoadFormat(), 1);
    EXPECT_EQ(Env()->Spin_ZoomSize->value(), 1);
    EXPECT_EQ(Env()->Spin_WideSize->value(), 99999);

    Program.reset();
    TIniFile ini(IniPath());
    EXPECT_EQ(ini.ReadString("options", "SaveFormatType", ""), QStringLiteral("2"));
    EXPECT_EQ(ini.ReadString("options", "LoadFormatType", ""), QStringLiteral("1"));
    EXPECT_EQ(ini.ReadString("options", "Lupe.Zoom", ""), QStringLiteral("1"));
    EXPECT_EQ(ini.ReadString("options", "Lupe.Wide", ""), QStringLiteral("99999"));
}

TEST_F(EnvDlgTest, CancelRestoresEveryControlAndChangesNothing)
{
    const int cellSize = Forms().MainForm->MapGrid->DefaultColWidth();
    const QStringList before = Controls();
    QList<int> pagesSeen;
    Script.Modal = [&](QDialog* dialog) {
        auto* env = qobject_cast<TEnvDlg*>(dialog);
        pagesSeen << env->Pages->currentIndex();
        env->Pages->setCurrentIndex(2);
        env->Spin_WideSize->setValue(3);
        env->Spin_NormalSize->setValue(40);
        env->Spin_ZoomSize->setValue(128);
        env->Check_PartsOnTop->setChecked(true);
        env->Check_ToolsOnTop->setChecked(false);
        env->Check_NonDim->setChecked(false);
        env->Edit_ExtName->setText("xyz");
        env->Radio_SaveFormat1->setChecked(true);
        env->Radio_LoadFormat1->setChecked(true);
        env->Check_ShowTitleWindow->setChecked(false);
        return int(QDialog::Rejected);
    };
    Forms().MainForm->N14Click();
    Forms().MainForm->N14Click();

    // First on "設定2", then on the page last shown.
    EXPECT_EQ(pagesSeen, (QList<int>{1, 2}));
    EXPECT_EQ(Script.Log.count(QStringLiteral("modal: EnvDlg")), 2);
    EXPECT_EQ(Controls(), before);
    EXPECT_EQ(Forms().MainForm->MapGrid->DefaultColWidth(), cellSize);
    EXPECT_FALSE(OnTop(Forms().PartsForm));
    EXPECT_EQ(Forms().MainForm->MapDialogExtension(), QStringLiteral("mpd"));
}

TEST_F(EnvDlgTest, TheZoomViewDrawsAtTheZoomSizeBeingEditedAndTheCellSizeChangesOnOk)
{
    TMainForm* main = Forms().MainForm;
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    PartsStore().CapturePart(0, red, 0, 0);
    Forms().ToolForm->ZoomRadio4->click();
    main->MapGrid->SetLeftCol(0);
    main->MapGrid->SetTopRow(0);
    const QPoint inside = main->MapGrid->CellRect(0, 0).topLeft() + QPoint(10, 10);
    const QPoint beyond64 = main->MapGrid->CellRect(0, 0).topLeft() + QPoint(100, 100);
    const auto colourAt = [&](const QPoint& p) {
        main->MapGrid->viewport()->repaint();
        return main->MapGrid->viewport()->grab().toImage().pixelColor(p);
    };
    ASSERT_EQ(colourAt(beyond64), QColor(Qt::red));

    for (const int result : {int(QDialog::Rejected), int(QDialog::Accepted)}) {
        QColor whileOpenInside, whileOpenBeyond;
        int cellWhileOpen = 0;
        Script.Modal = [&](QDialog* dialog) {
            qobject_cast<TEnvDlg*>(dialog)->Spin_ZoomSize->setValue(64);
            whileOpenInside = colourAt(inside);
            whileOpenBeyond = colourAt(beyond64);
            cellWhileOpen = main->MapGrid->DefaultColWidth();
            return result;
        };
        main->N14Click();
        SCOPED_TRACE(result == QDialog::Accepted ? "OK" : "Cancel");
        EXPECT_EQ(whileOpenInside, QColor(Qt::red));
        EXPECT_NE(whileOpenBeyond, QColor(Qt::red)); // the part is drawn 64 pixels wide
        EXPECT_EQ(cellWhileOpen, 256);
        const int expected = result == QDialog::Accepted ? 64 : 256;
        EXPECT_EQ(Env()->Spin_ZoomSize->value(), expected);
        EXPECT_EQ(Env()->SavedZoomSize, expected);
        EXPECT_EQ(Settings().ZoomSize(), expected);
        EXPECT_EQ(main->MapGrid->DefaultColWidth(), expected);
    }
}

TEST_F(EnvDlgTest, OkAppliesSizesStayOnTopAndExtensionWhichSurviveARestart)
{
    TMainForm* main = Forms().MainForm;
    Forms().ToolForm->ZoomRadio12->click(); // the wide level
    ASSERT_EQ(main->MapGrid->DefaultColWidth(), 8);

    Script.Modal = [](QDialog* dialog) {
        auto* env = qobject_cast<TEnvDlg*>(dialog);
        env->Spin_WideSize->setValue(12);
        env->Check_PartsOnTop->setChecked(true);
        env->Check_ToolsOnTop->setChecked(false);
        env->Edit_ExtName->setText("map");
        return int(QDialog::Accepted);
    };
    main->N14Click();
    EXPECT_EQ(main->MapGrid->DefaultColWidth(), 12);
    EXPECT_TRUE(OnTop(Forms().PartsForm));
    EXPECT_FALSE(OnTop(Forms().ToolForm));
    EXPECT_TRUE(Forms().PartsForm->isVisible());
    EXPECT_TRUE(Forms().ToolForm->isVisible());

    RestartProgram();
    main = Forms().MainForm;
    EXPECT_EQ(Env()->Spin_WideSize->value(), 12);
    EXPECT_TRUE(OnTop(Forms().PartsForm));
    EXPECT_FALSE(OnTop(Forms().ToolForm));
    EXPECT_EQ(main->MapDialogExtension(), QStringLiteral("map"));
    ASSERT_FALSE(main->MapDialogFilters().isEmpty());
    EXPECT_EQ(main->MapDialogFilters().first(), QStringLiteral("マップファイル(*.map) (*.map)"));
}

} // namespace
