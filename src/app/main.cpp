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
    // Qt's own event loop wakes for the engine's tick at a fraction of the
    // cost of GLib's, which matters to a program that waits all day. A user
    // who needs GLib's loop (for a GTK theme's plug-ins) sets QT_NO_GLIB to
    // an empty value.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Porthold"));
    return porthold::app::RunDesktopProgram();
}
