#include "ProgressRun.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

TProgressWindow testWindow()
{
    return {QStringLiteral("TestProgress"), QStringLiteral("長い仕事"), QStringLiteral("始めます"),
            [](qint64 done, qint64 total) {
                return QStringLiteral("%1 / %2 行").arg(done).arg(total);
            }};
}

TEST(RunWithProgress, ReturnsTheWorksResultAndItsException)
{
    const std::unique_ptr<int> result =
        RunWithProgress(nullptr, testWindow(), [](const TProgress& progress) {
            bool going = true;
            for (int i = 0; i <= 10; ++i)
                going = progress(i, 10) && going;
            return std::make_unique<int>(going ? 42 : -1);
        });
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, 42);
    EXPECT_THROW(RunWithProgress(nullptr, testWindow(),
                                 [](const TProgress&) -> int { throw std::runtime_error("x"); }),
                 std::runtime_error);
}

// The window shows the work's count; its Cancel button makes the progress say stop, which
// the work hands back in its result.
TEST(RunWithProgress, CancelInTheWindowStopsTheWork)
{
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QProgressDialog*>(w);
            if (!dialog || !dialog->isVisible() || dialog->objectName() != u"TestProgress" ||
                !dialog->labelText().endsWith(u" 行"))
                continue;
            seen = true;
            EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("長い仕事"));
            auto* cancel = dialog->findChild<QPushButton*>();
            ASSERT_TRUE(cancel);
            EXPECT_EQ(cancel->text(), QStringLiteral("キャンセル"));
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    poll.start(5);
    const bool stopped = RunWithProgress(nullptr, testWindow(), [](const TProgress& progress) {
        // Goes on until told to stop; the bound only turns a fault into a failure, not a hang.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (qint64 row = 0; std::chrono::steady_clock::now() < giveUp; ++row) {
            if (!progress(row, qint64(1) << 40))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    });
    poll.stop();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(stopped);
}

} // namespace
