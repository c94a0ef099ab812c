#include "NkClipDetector.h"

#include <QGuiApplication>

TNkClipDetector::TNkClipDetector(QObject* owner) : QObject(owner) {}

TNkClipDetector::~TNkClipDetector()
{
    stopListening();
}

void TNkClipDetector::SetOnClipChange(TClipChangeEvent handler)
{
    if (!handler) {
        stopListening();
        FOnClipChange = nullptr;
        return;
    }
    if (FConnection) {
        FOnClipChange = std::move(handler);
        return;
    }
    QClipboard* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard)
        throw EOutOfResources("TNkClipDetector.SetOnClipChange: Cannot Allocate HWnd");
    FOnClipChange = std::move(handler);
    // A platform that announces the current contents to a new listener does so inside the
    // registration; that is no change of the contents.
    FSettingViewer = true;
    // Only the clipboard proper: X11 announces its primary selection through the same
    // signal, and every mouse selection in any program would count as a change.
    FConnection =
        connect(clipboard, &QClipboard::changed, this, &TNkClipDetector::clipboardChanged);
    FSettingViewer = false;
    if (!FConnection) {
        FOnClipChange = nullptr;
        throw EOutOfResources("TNkClipDetector.SetOnClipChange: Cannot Allocate HWnd");
    }
}

void TNkClipDetector::clipboardChanged(QClipboard::Mode mode)
{
    if (mode != QClipboard::Clipboard)
        return;
    if (FIgnoreFirst && FSettingViewer)
        return;
    DoClipChange();
}

void TNkClipDetector::DoClipChange()
{
    // A copy: the handler may replace or clear itself while it runs.
    if (const TClipChangeEvent handler = FOnClipChange)
        handler(this);
}

void TNkClipDetector::stopListening()
{
    if (FConnection)
        disconnect(FConnection);
    FConnection = {};
}
