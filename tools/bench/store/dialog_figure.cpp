#include <QApplication>
#include <optional>

#include "audio/audio.h"
#include "config/error_log.h"
#include "config/settings.h"
#include "figures.h"
#include "platform/file_dialogs.h"
#include "platform/file_registry.h"
#include "platform/message_boxes.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"
#include "store/caller_pin_list.h"
#include "store/message_list.h"
#include "ui/dialog_services.h"
#include "ui/messages_dlg.h"

namespace porthold::tools::store_bench {

namespace {

// Nobody answers boxes or picks files while the dialog is only opened, and
// nothing plays, so these stand in for the user and the engine.
class QuietMessageBoxes final : public platform::MessageBoxes {
public:
    platform::MessageBoxAnswer Show(std::string_view /*text*/, std::string_view /*caption*/,
                                    platform::MessageBoxButtons /*buttons*/,
                                    platform::MessageBoxIcon /*icon*/) override {
        return platform::MessageBoxAnswer::Ok;
    }
};

class NoFileDialogs final : public platform::FileDialogs {
public:
    std::optional<std::string> ChooseFile(const platform::FileDialogRequest& /*request*/) override {
        return std::nullopt;
    }
};

class IgnoredErrorLog final : public config::ErrorLog {
public:
    void LogError(std::string_view /*message*/) override {}
};

class IdleCallFlags final : public audio::CallFlags {
public:
    bool IsRetrieving() const override { return false; }
    bool IsMessagePlaying() const override { return false; }
    void SetMessageFinished() override {}
    void RequestHangUp() override {}
};

config::Settings ProgramSettings(const std::string& programFolder) {
    config::Settings settings;
    settings.Path = programFolder;
    settings.DeriveFolders();
    return settings;
}

// What the main window hands the management dialogs, assembled from real
// lists and audio in the bench's own folder.
struct Services {
    explicit Services(const std::string& programFolder)
        : settings(ProgramSettings(programFolder)),
          callers(programFolder),
          messages(settings.messagesFolder),
          registry(programFolder + "registry.reg") {}
    ~Services() { audio.Teardown(); }

    config::Settings settings;
    platform::VirtualClock clock;
    platform::WaveDevices devices;
    IgnoredErrorLog log;
    IdleCallFlags callFlags;
    audio::Audio audio{devices, clock, log, settings, callFlags};
    store::CallerPinList callers;
    store::MessageList messages;
    QuietMessageBoxes messageBoxes;
    NoFileDialogs fileDialogs;
    platform::FileRegistry registry;
    ui::DialogServices dialogServices{clock,    messageBoxes, fileDialogs, registry, log,
                                      settings, audio,        callers,     messages};
};

}  // namespace

std::vector<Figure> MeasureMessagesDialog(const std::string& programFolder, int messages,
                                          int runs) {
    Services services(programFolder);
    services.messages.LoadList();
    const double median = MedianOfRuns(runs, [&] {
        std::optional<ui::MessagesDlg> dialog;
        const double taken = MillisecondsOf([&] {
            // As QtManagementDialogs::RunMessages makes it; shown rather than
            // run modally, and timed until its first showing is painted.
            dialog.emplace(services.dialogServices);
            dialog->SetNewMessageCount(services.messages.CountNew());
            dialog->show();
            QApplication::processEvents();
        });
        dialog.reset();
        QApplication::processEvents();
        return taken;
    });
    return {Figure{"open messages dialog", messages, median}};
}

}  // namespace porthold::tools::store_bench
