#pragma once

#include <QClipboard>
#include <QMetaObject>
#include <QObject>
#include <functional>
#include <stdexcept>

// Raised when the detector cannot listen to the system clipboard.
class EOutOfResources : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Tells its owner whenever the contents of the system clipboard change: one OnClipChange
// call per change, on the GUI thread. Listens only while a handler is set; the contents
// present at registration are not reported.
class TNkClipDetector : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool IgnoreFirst READ IgnoreFirst WRITE SetIgnoreFirst)

public:
    // The handler receives the detector as its sender.
    using TClipChangeEvent = std::function<void(QObject* sender)>;

    explicit TNkClipDetector(QObject* owner = nullptr);
    ~TNkClipDetector() override;

    // Whether a notification arriving during registration is swallowed (default true).
    bool IgnoreFirst() const { return FIgnoreFirst; }
    void SetIgnoreFirst(bool ignore) { FIgnoreFirst = ignore; }

    const TClipChangeEvent& OnClipChange() const { return FOnClipChange; }
    // A handler starts listening (once); an empty one stops it. Throws EOutOfResources when
    // there is no clipboard to listen to.
    void SetOnClipChange(TClipChangeEvent handler);
    bool IsListening() const { return bool(FConnection); }

protected:
    // Calls OnClipChange with the detector as sender, if a handler is set.
    virtual void DoClipChange();

private:
    void clipboardChanged(QClipboard::Mode mode);
    void stopListening();

    bool FIgnoreFirst = true;
    bool FSettingViewer = false; // true only while registering
    TClipChangeEvent FOnClipChange;
    QMetaObject::Connection FConnection;
};
