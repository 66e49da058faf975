#include "program_harness.h"

#include <set>
#include <string_view>

#include "platform/files.h"

namespace porthold::app::testing {

using namespace telephony;

// ---------------------------------------------------------------------------
// RecordingTapi: the requests that matter to the order are written down.

LONG RecordingTapi::lineMonitorDigits(HCALL call, DWORD digitModes) {
    const LONG result = Inner().lineMonitorDigits(call, digitModes);
    events_.push_back(digitModes == 0 ? "lineMonitorDigits off" : "lineMonitorDigits");
    return result;
}

void RecordingTapi::Forwarded(std::string_view operation, LONG /*result*/) {
    // Queries and message retrieval repeat as often as the program likes;
    // only the requests that open, answer and close things make the order.
    static const std::set<std::string_view, std::less<>> kOrdered = {
        "lineAnswer",         "lineClose", "lineDeallocateCall", "lineDrop",
        "lineInitializeExW",  "lineOpenW", "lineShutdown",       "phoneClose",
        "phoneInitializeExA", "phoneOpen", "phoneShutdown"};
    if (kOrdered.contains(operation)) {
        events_.emplace_back(operation);
    }
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
