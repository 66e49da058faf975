#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "platform/multimedia/simulated_sound_card.h"
#include "platform/multimedia/wave_devices.h"
#include "service/simulated_modem_line.h"
#include "service/telephony_service.h"
#include "support/fake_environment.h"
#include "support/fake_registry.h"
#include "support/forwarding_tapi.h"
#include "support/scripted_message_boxes.h"
#include "support/temporary_folder.h"
#include "telephony/engine_dialogs.h"
#include "telephony/reply_wait.h"
#include "ui/main_window.h"

namespace porthold::app::testing {

// What happened, in order, across the window, the telephony service and the
// single-instance lock, for tests of the start-up and shutdown order.
using EventLog = std::vector<std::string>;

// The telephony service as the program sees it, with the requests that make
// up the start-up and shutdown order written to the event log.
class RecordingTapi final : public porthold::testing::ForwardingTapi {
public:
    RecordingTapi(telephony::Tapi& service, EventLog& events)
        : ForwardingTapi(service), events_(events) {}

    // Switching digit monitoring off is a step of its own in the order.
    LONG lineMonitorDigits(HCALL call, DWORD digitModes) override;

private:
    void Forwarded(std::string_view operation, LONG result) override;

    EventLog& events_;
};

// The engine's dialogs answered at once with a chosen result.
class ImmediateEngineDialogs final : public telephony::EngineDialogs {
public:
    explicit ImmediateEngineDialogs(int result) : result_(result) {}
    int RunIncomingCall(const telephony::IncomingCallRequest&) override { return result_; }
    void CloseCallDialog() override {}
    void RunPickUp() override {}
    void RunTalk(const std::string&) override {}

private:
    int result_;
};

enum class LineSetup { VoiceModem, NoModem };
enum class ReplyWaiting { Interleaved, Threaded };

// Everything a Program needs but its window and its engine dialogs: a
// temporary program folder as the working directory, the settings in memory,
// scripted message boxes, a simulated sound card and the in-process
// telephony service with a simulated voice-modem line, all on `clock`.
class ProgramHarness {
public:
    ProgramHarness(platform::Clock& clock, LineSetup lineSetup,
                   ReplyWaiting replyWaiting = ReplyWaiting::Interleaved);
    ~ProgramHarness();

    ProgramServices Services(ui::MainWindow& window, EngineDialogsFactory engineDialogs);
    // Services with engine dialogs answered at once with `result`.
    ProgramServices Services(ui::MainWindow& window, int notificationResult);

    // The working directory at start, so the default program folder; ends in "/".
    std::string ProgramFolder() const { return folder.Path() + "program/"; }
    // A file in the program folder, written before start-up.
    void WriteProgramFile(const std::string& name, const std::string& contents) const;

    // Texts of the message boxes shown so far.
    std::vector<std::string> BoxTexts() const;

    platform::Clock& clock;
    EventLog events;
    porthold::testing::TemporaryFolder folder;
    porthold::testing::FakeEnvironment environment;
    porthold::testing::FakeRegistry registry;
    porthold::testing::ScriptedMessageBoxes messageBoxes;
    platform::SimulatedSoundCard soundCard{clock};
    service::TelephonyService service{clock};
    service::SimulatedModemLine* line = nullptr;
    RecordingTapi tapi{service, events};
    // Goes before the service whose voice channels it uses.
    platform::WaveDevices waveDevices;
    std::unique_ptr<telephony::ReplyWaitStrategy> replyWait;
};

}  // namespace porthold::app::testing
