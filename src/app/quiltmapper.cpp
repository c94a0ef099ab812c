#include "Dialogs.h"
#include "ErrorApplication.h"
#include "Program.h"

#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

int main(int argc, char** argv)
{
    TErrorApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quiltmapper"));

    // The standard dialogs speak Japanese too: Qt's own texts, or those installed with the
    // program.
    QTranslator qtTranslator;
    const QString installed = QDir(QCoreApplication::applicationDirPath())
                                  .filePath(QStringLiteral("../share/quiltmapper/translations"));
    for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath), installed}) {
        if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"),
                              QStringLiteral("_"), folder)) {
            QApplication::installTranslator(&qtTranslator);
            break;
        }
    }

    std::unique_ptr<TQuiltmapperProgram> program;
    try {
        program = std::make_unique<TQuiltmapperProgram>();
    } catch (...) {
        ShowError(nullptr, CurrentExceptionText());
        return 1;
    }
    // A map file named on the command line (a double-clicked map) is opened.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1)
        program->OpenMapFile(arguments.at(1));
    return program->Run();
}
