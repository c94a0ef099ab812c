#include "DrawGrid.h"
#include "IniFile.h"
#include "MapDocument.h"
#include "Parts.h"
#include "ProgramFixture.h"
#include "env.h"
#include "main.h"
#include "tool.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFrame>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <functional>
#include <memory>
#include <vector>

namespace {

// The windows show the settings model and change it; none reads another window's controls.
class SettingsWiringTest : public ProgramTest
{
protected:
    TMainForm* Main() { return Forms().MainForm; }
    TToolForm* Tool() { return Forms().ToolForm; }

    static bool OnTop(QWidget* window)
    {
        return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    }

    // One spy on every signal of the settings.
    std::vector<std::unique_ptr<QSignalSpy>> SpyOnEverySignal()
    {
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        const QMetaObject* meta = Settings().metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                spies.push_back(std::make_unique<QSignalSpy>(&Settings(), meta->method(i)));
        }
        return spies;
    }
};

TEST_F(SettingsWiringTest, TheStartIsWhatTheModelSays)
{
    EXPECT_EQ(Settings().MapTool(), mtScroll);
    EXPECT_EQ(Settings().ZoomLevel(), zlNormal);
    EXPECT_TRUE(Main()->N19->isChecked());
    EXPECT_TRUE(Tool()->Button_Scroll->isChecked());
    EXPECT_TRUE(Tool()->ZoomRadio1->isChecked());
    EXPECT_EQ(Main()->MapGrid->DefaultColWidth(), Settings().CellSize());
    EXPECT_FALSE(Main()->A1->isChecked());
    EXPECT_EQ(Main()->MapDialogExtension(), Settings().ExtName());
    EXPECT_EQ(OnTop(Forms().PartsForm), Settings().PartsOnTop());
    EXPECT_EQ(OnTop(Tool()), Settings().ToolsOnTop());
}

TEST_F(SettingsWiringTest, EveryViewFollowsAChangeOfTheModel)
{
    struct Row
    {
        const char* Name;
        std::function<void()> Change;
        std::function<bool()> Shown;
    };
    const Row rows[] = {
        {"zoom level", [&] { Settings().SetZoomLevel(zlZoom); },
         [&] {
             return Tool()->ZoomRadio4->isChecked() && Tool()->Button_LupeMode->isEnabled() &&
                    Main()->D1->isEnabled() && Main()->MapGrid->DefaultColWidth() == 256;
         }},
        {"cell size, once the settings are applied",
         [&] {
             Settings().SetZoomSize(100);
             Forms().EnvDlg->ApplySettings();
         },
         [&] { return Main()->MapGrid->DefaultRowHeight() == 100; }},
        {"map tool", [&] { Settings().SetMapTool(mtRegion); },
         [&] {
             return Main()->N18->isChecked() && Tool()->Button_Region->isChecked() &&
                    Main()->G2->isEnabled() &&
                    Main()->MapGrid->viewport()->cursor().shape() == Qt::CrossCursor;
         }},
        {"part-graphic tool", [&] { Settings().SetMapTool(mtLupe); },
         [&] { return Main()->D1->isChecked() && Tool()->LowerRowShown(); }},
        {"random placement", [&] { Settings().SetRandomPlacement(true); },
         [&] { return Main()->A1->isChecked(); }},
        {"pixel tool", [&] { Settings().SetPixelTool(ptBox); },
         [&] { return Tool()->Button_Box->isChecked(); }},
        {"pen width", [&] { Settings().SetPenWidth(TSettings::ThickPenWidth); },
         [&] { return Tool()->Button_ThickLine->isChecked(); }},
        {"drawing colour", [&] { Settings().SetDrawingColor(QColor(10, 200, 30)); },
         [&] {
             return Tool()->LupeColorPanel->palette().color(QPalette::Window) ==
                        QColor(10, 200, 30) &&
                    Tool()->DrawingColor() == QColor(10, 200, 30);
         }},
        {"parts window on top", [&] { Settings().SetPartsOnTop(true); },
         [&] { return OnTop(Forms().PartsForm) && Forms().PartsForm->isVisible(); }},
        {"tool box on top", [&] { Settings().SetToolsOnTop(false); },
         [&] { return !OnTop(Tool()) && Tool()->isVisible(); }},
        {"map extension", [&] { Settings().SetExtName(QStringLiteral("map")); },
         [&] { return Main()->MapDialogExtension() == QStringLiteral("map"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_FALSE(row.Shown());
        row.Change();
        EXPECT_TRUE(row.Shown());
    }
}

TEST_F(SettingsWiringTest, TheControlsChangeTheModel)
{
    struct Row
    {
        const char* Name;
        std::function<void()> Act;
        std::function<bool()> Changed;
    };
    const Row rows[] = {
        {"paint button", [&] { Tool()->Button_Paint->click(); },
         [&] { return Settings().MapTool() == mtPaint; }},
        {"region menu item", [&] { Main()->N18->trigger(); },
         [&] { return Settings().MapTool() == mtRegion; }},
        {"zoom radio", [&] { Tool()->ZoomRadio4->click(); },
         [&] { return Settings().ZoomLevel() == zlZoom; }},
        {"random placement item", [&] { Main()->A1->trigger(); },
         [&] { return Settings().RandomPlacement(); }},
        {"line tool", [&] { Tool()->Button_LupeLine->click(); },
         [&] { return Settings().PixelTool() == ptLine; }},
        {"thick pen", [&] { Tool()->Button_ThickLine->click(); },
         [&] { return Settings().PenWidth() == TSettings::ThickPenWidth; }},
        {"colour dialog",
         [&] {
             Script.Modal = [](QDialog* dialog) {
                 qobject_cast<QColorDialog*>(dialog)->setCurrentColor(QColor(1, 2, 3));
                 return int(QDialog::Accepted);
             };
             QMouseEvent click(QEvent::MouseButtonRelease, QPointF(3, 3), QPointF(3, 3),
                               Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
             QCoreApplication::sendEvent(Tool()->LupeColorPanel, &click);
         },
         [&] { return Settings().DrawingColor() == QColor(1, 2, 3); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_FALSE(row.Changed());
        row.Act();
        EXPECT_TRUE(row.Changed());
    }
}

TEST_F(SettingsWiringTest, TheDialogEditsACopyThatOkCommitsAndCancelDrops)
{
    const auto edit = [](QDialog* dialog) {
        auto* env = qobject_cast<TEnvDlg*>(dialog);
        env->Spin_NormalSize->setValue(20);
        env->Check_PartsOnTop->setChecked(true);
        env->Edit_ExtName->setText(QStringLiteral("qm"));
        env->Radio_SaveFormat1->setChecked(true);
    };
    {
        const auto spies = SpyOnEverySignal();
        Script.Modal = [&](QDialog* dialog) {
            edit(dialog);
            // Nothing is in force while the dialog is open.
            EXPECT_EQ(Settings().NormalSize(), 32);
            return int(QDialog::Rejected);
        };
        Main()->N14Click();
        for (const auto& spy : spies)
            EXPECT_EQ(spy->count(), 0) << spy->signal().toStdString();
        EXPECT_EQ(Settings().NormalSize(), 32);
    }

    Script.Modal = [&](QDialog* dialog) {
        edit(dialog);
        return int(QDialog::Accepted);
    };
    Main()->N14Click();
    EXPECT_EQ(Settings().NormalSize(), 20);
    EXPECT_TRUE(Settings().PartsOnTop());
    EXPECT_EQ(Settings().ExtName(), QStringLiteral("qm"));
    EXPECT_EQ(Settings().SaveFormatType(), 1);
    EXPECT_EQ(Main()->MapGrid->DefaultColWidth(), 20);
    EXPECT_TRUE(OnTop(Forms().PartsForm));
    EXPECT_EQ(Main()->MapDialogExtension(), QStringLiteral("qm"));
}

TEST_F(SettingsWiringTest, TheUndoBudgetComesFromTheSettingsFile)
{
    const TUndoHistory& history = Program->Models().Document.History();
    EXPECT_EQ(history.Budget(), TSettings::DefaultUndoBudget);
    Program.reset();
    TIniFile ini(IniPath());
    ASSERT_TRUE(ini.WriteString(QStringLiteral("options"), QStringLiteral("UndoMemoryMB"),
                                QStringLiteral("3")));
    StartProgram();
    EXPECT_EQ(Program->Models().Document.History().Budget(), 3 * TSettings::MegaByte);
    Settings().SetUndoBudget(5 * TSettings::MegaByte);
    EXPECT_EQ(Program->Models().Document.History().Budget(), 5 * TSettings::MegaByte);
}

} // namespace
