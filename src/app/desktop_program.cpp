#include "app/desktop_program.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QThreadPool>

#include "app/application.h"
#include "app/program.h"
#include "app/single_instance.h"
#include "app/termination_signals.h"
#include "platform/environment.h"
#include "platform/file_registry.h"
#include "platform/multimedia/alsa_sound_card.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/system_clock.h"
#include "telephony/reply_wait.h"
#include "telephony/tapi_binding.h"
#include "ui/main_dialog.h"
#include "ui/qt_engine_dialogs.h"
#include "ui/qt_file_dialogs.h"
#include "ui/qt_line_event_watch.h"
#include "ui/qt_management_dialogs.h"
#include "ui/qt_message_boxes.h"
#include "ui/qt_timer_driver.h"

namespace porthold::app {

namespace {

struct Foundation {
    const platform::ProcessEnvironment& environment;
    platform::SystemClock& clock;
    platform::Registry& registry;
    ui::QtMessageBoxes& messageBoxes;
    SingleInstance& instance;
};

void RunMainWindow(const Foundation& foundation) {
    // Declared in the order that lets each go after everything using it.
    platform::AlsaSoundCard soundCard;
    platform::WaveDevices waveDevices;
    waveDevices.RegisterSoundCard(soundCard);
    telephony::TapiBinding tapi;
    telephony::ThreadedReplyWait replyWait(foundation.clock);
    ui::QtLineEventWatch lineEventWatch;
    ui::QtFileDialogs fileDialogs;
    ui::QtManagementDialogs managementDialogs;
    ui::MainDialog window(managementDialogs);
    foundation.messageBoxes.SetOwner(&window);

    Program program(ProgramServices{
        .clock = foundation.clock,
        .environment = foundation.environment,
        .registry = foundation.registry,
        .messageBoxes = foundation.messageBoxes,
        .waveDevices = waveDevices,
        .tapi = tapi,
        .lineWaveDevices = [&tapi] { return tapi.WaveDeviceProviders(); },
        .replyWait = replyWait,
        .lineEventWatch = &lineEventWatch,
        .mainWindow = window,
        .engineDialogs =
            [&](audio::WavePlayer& player) {
                return std::make_unique<ui::QtEngineDialogs>(player, foundation.clock, &window);
            },
        .releaseInstance = [&foundation] { foundation.instance.Release(); },
        .instance = static_cast<telephony::HINSTANCE>(::getpid()),
    });
    window.SetProgram(program);
    managementDialogs.Bind(ui::DialogServices{
        .clock = foundation.clock,
        .messageBoxes = foundation.messageBoxes,
        .fileDialogs = fileDialogs,
        .registry = foundation.registry,
        .errorLog = program.ErrorLog(),
        .settings = program.Settings(),
        .audio = program.Audio(),
        .callers = program.Callers(),
        .messages = program.Messages(),
    });

    // Ends every loop that runs, the nested ones of open dialogs too, as a
    // quit message would; the window's shutdown follows.
    TerminationSignals terminationSignals([] { QCoreApplication::exit(0); });
    window.Run();
    foundation.messageBoxes.SetOwner(nullptr);
}

}  // namespace

int RunDesktopProgram() {
    // Before the sound card and the telephony service start their threads,
    // should the caller not have blocked them yet.
    BlockTerminationSignals();
    platform::SystemEnvironment environment;
    platform::SystemClock clock;
    ui::QtTimerDriver timerDriver(clock);
    platform::FileRegistry registry(platform::DefaultRegistryFile(environment));
    ui::QtMessageBoxes messageBoxes;
    SingleInstance instance(InstanceLockFile(environment), clock);

    Application application(instance, messageBoxes);
    const bool ran = application.InitInstance([&] {
        RunMainWindow(Foundation{environment, clock, registry, messageBoxes, instance});
    });
    // Qt scales and converts the window's images on its global pool's
    // threads, which otherwise idle on until the process ends and race its
    // end; they are ended here, in order, while Qt is whole.
    QThreadPool::globalInstance()->waitForDone();
    return ran ? 0 : 1;
}

}  // namespace porthold::app
