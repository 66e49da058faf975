#include "program_harness.h"

#include "platform/files.h"

namespace porthold::app::testing {

using namespace telephony;

// ---------------------------------------------------------------------------
// RecordingTapi: the requests that matter to the order are written down.

LONG RecordingTapi::Record(const char* name, LONG result) {
    events_.push_back(name);
    return result;
}

LONG RecordingTapi::lineAnswer(HCALL call, LPCSTR info, DWORD size) {
    return Record("lineAnswer", service_.lineAnswer(call, info, size));
}
LONG RecordingTapi::lineClose(HLINE line) {
    return Record("lineClose", service_.lineClose(line));
}
LONG RecordingTapi::lineDeallocateCall(HCALL call) {
    return Record("lineDeallocateCall", service_.lineDeallocateCall(call));
}
LONG RecordingTapi::lineDrop(HCALL call, LPCSTR info, DWORD size) {
    return Record("lineDrop", service_.lineDrop(call, info, size));
}
LONG RecordingTapi::lineGetDevCapsW(HLINEAPP app, DWORD device, DWORD version, DWORD extension,
                                    LINEDEVCAPS* capabilities) {
    return service_.lineGetDevCapsW(app, device, version, extension, capabilities);
}
LONG RecordingTapi::lineGetIDA(HLINE line, DWORD address, HCALL call, DWORD select,
                               VARSTRING* deviceId, LPCSTR deviceClass) {
    return service_.lineGetIDA(line, address, call, select, deviceId, deviceClass);
}
LONG RecordingTapi::lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) {
    return service_.lineGetLineDevStatus(line, status);
}
LONG RecordingTapi::lineGetMessage(HLINEAPP app, LINEMESSAGE* message, DWORD timeout) {
    return service_.lineGetMessage(app, message, timeout);
}
LONG RecordingTapi::lineInitializeExW(HLINEAPP* app, HINSTANCE instance, LINECALLBACK callback,
                                      LPCWSTR name, DWORD* count, DWORD* version,
                                      LINEINITIALIZEEXPARAMS* parameters) {
    return Record("lineInitializeExW", service_.lineInitializeExW(app, instance, callback, name,
                                                                  count, version, parameters));
}
LONG RecordingTapi::lineMonitorDigits(HCALL call, DWORD modes) {
    return Record(modes == 0 ? "lineMonitorDigits off" : "lineMonitorDigits",
                  service_.lineMonitorDigits(call, modes));
}
LONG RecordingTapi::lineNegotiateAPIVersion(HLINEAPP app, DWORD device, DWORD low, DWORD high,
                                            DWORD* version, LINEEXTENSIONID* extension) {
    return service_.lineNegotiateAPIVersion(app, device, low, high, version, extension);
}
LONG RecordingTapi::lineOpenW(HLINEAPP app, DWORD device, HLINE* line, DWORD version,
                              DWORD extension, DWORD_PTR instance, DWORD privileges, DWORD modes,
                              LINECALLPARAMS* parameters) {
    return Record("lineOpenW", service_.lineOpenW(app, device, line, version, extension, instance,
                                                  privileges, modes, parameters));
}
LONG RecordingTapi::lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
    return service_.lineSetStatusMessages(line, lineStates, addressStates);
}
LONG RecordingTapi::lineShutdown(HLINEAPP app) {
    return Record("lineShutdown", service_.lineShutdown(app));
}
LONG RecordingTapi::phoneClose(HPHONE phone) {
    return Record("phoneClose", service_.phoneClose(phone));
}
LONG RecordingTapi::phoneGetDevCapsA(HPHONEAPP app, DWORD device, DWORD version, DWORD extension,
                                     PHONECAPS* capabilities) {
    return service_.phoneGetDevCapsA(app, device, version, extension, capabilities);
}
LONG RecordingTapi::phoneInitializeExA(HPHONEAPP* app, HINSTANCE instance, PHONECALLBACK callback,
                                       LPCSTR name, DWORD* count, DWORD* version,
                                       PHONEINITIALIZEEXPARAMS* parameters) {
    return Record("phoneInitializeExA", service_.phoneInitializeExA(app, instance, callback, name,
                                                                    count, version, parameters));
}
LONG RecordingTapi::phoneNegotiateAPIVersion(HPHONEAPP app, DWORD device, DWORD low, DWORD high,
                                             DWORD* version, PHONEEXTENSIONID* extension) {
    return service_.phoneNegotiateAPIVersion(app, device, low, high, version, extension);
}
LONG RecordingTapi::phoneOpen(HPHONEAPP app, DWORD device, HPHONE* phone, DWORD version,
                              DWORD extension, DWORD_PTR instance, DWORD privilege) {
    return Record("phoneOpen",
                  service_.phoneOpen(app, device, phone, version, extension, instance, privilege));
}
LONG RecordingTapi::phoneSetStatusMessages(HPHONE phone, DWORD states, DWORD modes,
                                           DWORD buttonStates) {
    return service_.phoneSetStatusMessages(phone, states, modes, buttonStates);
}
LONG RecordingTapi::phoneShutdown(HPHONEAPP app) {
    return Record("phoneShutdown", service_.phoneShutdown(app));
}

// ---------------------------------------------------------------------------
// ProgramHarness

namespace {

constexpr std::uint32_t kLineOutput = 7;
constexpr std::uint32_t kLineInput = 8;

}  // namespace

ProgramHarness::ProgramHarness(platform::Clock& programClock, LineSetup lineSetup,
                               ReplyWaiting replyWaiting)
    : clock(programClock) {
    platform::CreateDirectory(ProgramFolder());
    std::string current = ProgramFolder();
    current.pop_back();
    environment.currentDirectory = current;
    if (lineSetup == LineSetup::VoiceModem) {
        line = &service.AddLine(
            std::make_unique<service::SimulatedModemLine>(clock, "line0", kLineOutput, kLineInput));
    }
    waveDevices.RegisterSoundCard(soundCard);
    if (replyWaiting == ReplyWaiting::Threaded) {
        replyWait = std::make_unique<ThreadedReplyWait>(clock);
    } else {
        replyWait = std::make_unique<InterleavedReplyWait>(clock);
    }
}

ProgramHarness::~ProgramHarness() {
    if (line != nullptr) {
        line->HangUp();
    }
}

ProgramServices ProgramHarness::Services(ui::MainWindow& window,
                                         EngineDialogsFactory engineDialogs) {
    return ProgramServices{
        .clock = clock,
        .environment = environment,
        .registry = registry,
        .messageBoxes = messageBoxes,
        .waveDevices = waveDevices,
        .tapi = tapi,
        .lineWaveDevices = [this] { return service.WaveDeviceProviders(); },
        .replyWait = *replyWait,
        .mainWindow = window,
        .engineDialogs = std::move(engineDialogs),
        .releaseInstance = [this] { events.push_back("release instance"); },
        .instance = 1,
    };
}

ProgramServices ProgramHarness::Services(ui::MainWindow& window, int notificationResult) {
    return Services(window, [notificationResult](audio::WavePlayer&) {
        return std::make_unique<ImmediateEngineDialogs>(notificationResult);
    });
}

void ProgramHarness::WriteProgramFile(const std::string& name, const std::string& contents) const {
    folder.Write("program/" + name, contents);
}

std::vector<std::string> ProgramHarness::BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& shown : messageBoxes.shown()) {
        texts.push_back(shown.text);
    }
    return texts;
}

}  // namespace porthold::app::testing
