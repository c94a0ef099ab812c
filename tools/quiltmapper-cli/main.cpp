#include "CliCommands.h"

#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

namespace {

// The tool promises one line on stderr per error; Qt's own notes (about the platform
// plug-in's environment, say) would break that, so only fatal messages get through.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "quiltmapper-cli: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(quietMessages);
    // Rendering draws part placeholders with fonts, which needs a GUI application, but the
    // tool never opens a window: it must run where there is no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunCli(app.arguments().mid(1), out, err);
}
