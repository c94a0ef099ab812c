#include "Dialogs.h"
#include "ErrorApplication.h"
#include "Program.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

int main(int argc, char** argv)
{
    TErrorApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quiltmapper"));

    // The standard dialogs speak Japanese too.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    std::unique_ptr<TQuiltmapperProgram> program;
    try {
        program = std::make_unique<TQuiltmapperProgram>();
    } catch (...) {
        ShowError(nullptr, CurrentExceptionText());
        return 1;
    }
    return program->Run();
}
