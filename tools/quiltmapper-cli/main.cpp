#include "CliCommands.h"
#include "CliText.h"

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
    // File names come as the platform encodes them, not as text in the locale's encoding:
    // a name that cannot be decoded and encoded back would open or write another file.
    QList<QByteArray> raw;
    for (int i = 1; i < argc; ++i)
        raw << QByteArray(argv[i]);
    QString refusal;
    const std::optional<QStringList> args = DecodeCliArguments(raw, &refusal);
    if (!args) {
        err << "quiltmapper-cli: " << OneLine(refusal) << "\n";
        return 2;
    }
    return RunCli(*args, out, err);
}
