// Renders the program's main window and dialogs to PNG files, for a person to
// look at: porthold-screenshots FOLDER. Run it with QT_QPA_PLATFORM=offscreen
// where there is no screen.

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "sample_program.h"
#include "window_pictures.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Porthold"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: porthold-screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    porthold::screenshots::SampleProgram program;
    if (!program.IsValid()) {
        std::fprintf(stderr, "cannot create the sample program folder\n");
        return 1;
    }
    return porthold::screenshots::RenderAllWindows(program, folder) ? 0 : 1;
}
