// Porthold: answers the telephone line and screens the calls.

#include <QApplication>

#include "app/desktop_program.h"
#include "app/qt_message_filter.h"

int main(int argc, char** argv) {
    porthold::app::SilenceQtMessages();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Porthold"));
    return porthold::app::RunDesktopProgram();
}
