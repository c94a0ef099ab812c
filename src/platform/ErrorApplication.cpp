#include "ErrorApplication.h"

#include "Dialogs.h"

#include <exception>
#include <new>

TErrorApplication::TErrorApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TErrorApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowError(activeWindow(), CurrentExceptionText());
    }
    return false;
}

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return QStringLiteral("メモリが不足しています");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("予期しないエラーが発生しました");
    }
}
