#pragma once

#include "Progress.h"

#include <QString>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

class QWidget;

// What the progress window of a long operation shows.
struct TProgressWindow
{
    QString ObjectName;
    QString Title;
    QString Label; // shown until the work first tells how far it has got
    // The text once it does (done and total as the work counts them); empty: Label stays.
    std::function<QString(qint64 done, qint64 total)> Text;
};

// Runs `work` on a second thread while an application-modal progress window with a
// "キャンセル" button shows how far it has got, and returns when the work has ended. The
// window being modal, the user changes nothing the work reads meanwhile; what else could
// (a reload of a file changed on disk) waits while ProgressWorkRunning(). After Cancel
// the TProgress handed to the work returns false; the work decides how it then ends (and
// says so in its result). An exception the work throws is thrown again here.
void RunProgressWindow(QWidget* parent, const TProgressWindow& window,
                       const std::function<void(const TProgress&)>& work);

// Whether a progress window's work is under way.
bool ProgressWorkRunning();

// The same for work that returns a result: RunWithProgress(parent, window,
// [&](const TProgress& progress) { return Write(..., progress); }).
template <typename Work>
std::invoke_result_t<Work&, const TProgress&>
RunWithProgress(QWidget* parent, const TProgressWindow& window, Work&& work)
{
    using TResult = std::invoke_result_t<Work&, const TProgress&>;
    std::optional<TResult> result;
    RunProgressWindow(parent, window,
                      [&](const TProgress& progress) { result.emplace(work(progress)); });
    return std::move(*result);
}
