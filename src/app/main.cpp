// Porthold: answers the telephone line and screens the calls.

#include <QApplication>
#include <cstdio>
#include <span>

#include "app/desktop_program.h"
#include "app/display_check.h"
#include "app/qt_message_filter.h"
#include "app/termination_signals.h"
#include "platform/environment.h"

int main(int argc, char** argv) {
    // First of all, so that every thread started from here on, Qt's own
    // included, leaves the termination signals to the event loop.
    porthold::app::BlockTerminationSignals();
    porthold::app::SilenceQtMessages();
    const porthold::platform::SystemEnvironment environment;
    if (porthold::app::LacksDisplay(environment, std::span<char* const>(argv, argc))) {
        const std::string_view text = porthold::app::kNoDisplayText;
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Porthold"));
    return porthold::app::RunDesktopProgram();
}
