#pragma once

#include <QApplication>

// The application object. An exception that escapes an event handler is shown in the
// error box with its own text and the program goes on, as the user expects of a desktop
// editor: one failed command must not end the session and lose the map.
class TErrorApplication : public QApplication
{
public:
    TErrorApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The text of the exception being handled, for the error box.
QString CurrentExceptionText();
