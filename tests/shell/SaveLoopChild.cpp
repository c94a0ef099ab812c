// Saves one file over and over, alternating two versions, until it is killed. Writes a byte
// on stdout after each save, so that the test knows the loop is running and how long a
// save takes.
//
//   qm_save_loop KIND FILE

#include "SaveLoop.h"

#include <QGuiApplication>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Parts placeholders draw text: a GUI application, but never a window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString kind = QString::fromLocal8Bit(argv[1]);
    const QString fileName = QString::fromLocal8Bit(argv[2]);
    for (int i = 1;; ++i) {
        if (!SaveLoopVersion(kind, fileName, i % 2))
            return 1;
        if (write(1, "s", 1) != 1)
            return 1;
    }
}
