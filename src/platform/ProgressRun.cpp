#include "ProgressRun.h"

#include "Dialogs.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <future>

namespace {

int WorkRunning = 0; // progress windows open, one inside another at most in practice

} // namespace

bool ProgressWorkRunning()
{
    return WorkRunning > 0;
}

void RunProgressWindow(QWidget* parent, const TProgressWindow& window,
                       const std::function<void(const TProgress&)>& work)
{
    ++WorkRunning;
    const auto ended = qScopeGuard([] { --WorkRunning; });
    // The bar counts in thousandths, whatever the work counts in.
    constexpr int Steps = 1000;
    QProgressDialog dialog(window.Label, QStringLiteral("キャンセル"), 0, Steps, parent);
    dialog.setObjectName(window.ObjectName);
    dialog.setWindowTitle(window.Title);
    FitTitle(&dialog);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);

    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};
    std::atomic<bool> cancelled{false};
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog,
                     [&cancelled] { cancelled = true; });
    const TProgress progress = [&](qint64 d, qint64 t) {
        done = d;
        total = t;
        return !cancelled;
    };
    std::future<void> running =
        std::async(std::launch::async, [&work, &progress] { work(progress); });

    // The window is updated from here, on the window's thread; the work only stores numbers.
    QEventLoop loop;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (dialog.wasCanceled())
            cancelled = true;
        const qint64 all = total;
        if (all > 0 && !cancelled) {
            const qint64 now = std::min<qint64>(done, all);
            dialog.setValue(int(now * Steps / all));
            if (window.Text)
                dialog.setLabelText(window.Text(now, all));
        }
        if (running.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            loop.quit();
    });
    dialog.show();
    timer.start(20);
    loop.exec();
    running.get();
}
