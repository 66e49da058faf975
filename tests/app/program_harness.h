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
class RecordingTapi final : public telephony::Tapi {
public:
    using DWORD = telephony::DWORD;
    using DWORD_PTR = telephony::DWORD_PTR;
    using HCALL = telephony::HCALL;
    using HINSTANCE = telephony::HINSTANCE;
    using HLINE = telephony::HLINE;
    using HLINEAPP = telephony::HLINEAPP;
    using HPHONE = telephony::HPHONE;
    using HPHONEAPP = telephony::HPHONEAPP;
    using LONG = telephony::LONG;
    using LPCSTR = telephony::LPCSTR;
    using LPCWSTR = telephony::LPCWSTR;

    RecordingTapi(telephony::Tapi& service, EventLog& events)
        : service_(service), events_(events) {}

    LONG lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) override;
    LONG lineClose(HLINE line) override;
    LONG lineDeallocateCall(HCALL call) override;
    LONG lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) override;
    LONG lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion, DWORD extensionVersion,
                         telephony::LINEDEVCAPS* capabilities) override;
    LONG lineGetIDA(HLINE line, DWORD addressId, HCALL call, DWORD select,
                    telephony::VARSTRING* deviceId, LPCSTR deviceClass) override;
    LONG lineGetLineDevStatus(HLINE line, telephony::LINEDEVSTATUS* status) override;
    LONG lineGetMessage(HLINEAPP lineApp, telephony::LINEMESSAGE* message, DWORD timeout) override;
    LONG lineInitializeExW(HLINEAPP* lineApp, HINSTANCE instance, telephony::LINECALLBACK callback,
                           LPCWSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                           telephony::LINEINITIALIZEEXPARAMS* parameters) override;
    LONG lineMonitorDigits(HCALL call, DWORD digitModes) override;
    LONG lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                 DWORD highVersion, DWORD* apiVersion,
                                 telephony::LINEEXTENSIONID* extensionId) override;
    LONG lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                   DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privileges,
                   DWORD mediaModes, telephony::LINECALLPARAMS* callParameters) override;
    LONG lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) override;
    LONG lineShutdown(HLINEAPP lineApp) override;
    LONG phoneClose(HPHONE phone) override;
    LONG phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                          DWORD extensionVersion, telephony::PHONECAPS* capabilities) override;
    LONG phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE instance,
                            telephony::PHONECALLBACK callback, LPCSTR applicationName,
                            DWORD* deviceCount, DWORD* apiVersion,
                            telephony::PHONEINITIALIZEEXPARAMS* parameters) override;
    LONG phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                  DWORD highVersion, DWORD* apiVersion,
                                  telephony::PHONEEXTENSIONID* extensionId) override;
    LONG phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                   DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privilege) override;
    LONG phoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                DWORD buttonStates) override;
    LONG phoneShutdown(HPHONEAPP phoneApp) override;

private:
    LONG Record(const char* name, LONG result);

    telephony::Tapi& service_;
    EventLog& events_;
};

// The engine's dialogs answered at once with a chosen result.
class ImmediateEngineDialogs final : public telephony::EngineDialogs {
public:
    explicit ImmediateEngineDialogs(int result) : result_(result) {}
    int RunIncomingCall(const telephony::IncomingCallRequest&) override { return result_; }
    void RunPickUp() override {}

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
