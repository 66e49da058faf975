#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "config/settings.h"
#include "engine_fakes.h"
#include "platform/multimedia/simulated_sound_card.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"
#include "service/simulated_modem_line.h"
#include "service/telephony_service.h"
#include "store/caller_pin_list.h"
#include "store/message_list.h"
#include "support/recording_error_log.h"
#include "support/recording_status_line.h"
#include "support/scripted_message_boxes.h"
#include "support/temporary_folder.h"
#include "telephony/call_engine.h"
#include "telephony/call_state.h"
#include "telephony/line_initializer.h"
#include "telephony/reply_wait.h"

namespace porthold::telephony::testing {

inline constexpr std::uint32_t kLineOut = 7;
inline constexpr std::uint32_t kLineIn = 8;
inline constexpr std::uint32_t kStartTick = 5000;

// One sound the caller (or the user, on the sound card) heard, named after
// the prompt or message it was, with its times relative to the scenario's
// origin (the answer of the call, once there was one).
struct HeardSound {
    std::string name;
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool cutShort = false;
};

void PrintTo(const HeardSound& sound, std::ostream* out);

// `count` samples of speech that the recorder always takes for sound.
std::vector<std::int16_t> Speech(std::uint32_t milliseconds);

// The caller on the simulated line, as the line tells it the call's events.
class TestCaller final : public service::CallerEnd {
public:
    void Answered(std::uint32_t tick) override { answeredTick = tick; }
    void HungUpByLine(std::uint32_t tick) override { hungUpTick = tick; }

    std::optional<std::uint32_t> answeredTick;
    std::optional<std::uint32_t> hungUpTick;
};

// The real engine, audio and stores on the simulated voice-modem line of the
// telephony service and a simulated sound card, all in virtual time, with
// the line opened by LineInit and the tick running every 10 ms. The program
// folder is temporary and its sounds folder holds the real prompts.
class EngineScenario : public ::testing::Test, private platform::TimerHandler {
protected:
    EngineScenario();
    ~EngineScenario() override;

    // --- Settings and stores, before the call ---
    void AddCaller(const std::string& pin, const std::string& text, const std::string& sound);
    // A WAVE file in the program folder of `milliseconds` of a tone that
    // identifies it, named `name` in what is heard.
    std::string WriteSound(const std::string& fileName, const std::string& name,
                           std::uint32_t milliseconds);
    // A message entry with its file, as if recorded earlier.
    void AddMessage(const std::string& fileName, const std::string& name,
                    std::uint32_t milliseconds);

    // --- The caller ---
    // Dials and rings every `ringEvery` until the engine answers and prompts;
    // the origin of times is then the answer.
    void CallIn(std::uint32_t ringEvery = 1000);
    void Press(const std::string& keys, service::KeyMode mode = service::KeyMode::Dtmf);
    // Runs `action` `delay` milliseconds from now, even inside a wait.
    void After(std::uint32_t delay, std::function<void()> action);
    void Run(std::uint32_t milliseconds) { clock.Advance(milliseconds); }
    bool RunUntil(const std::function<bool()>& condition, std::uint32_t limit = 300000) {
        return clock.AdvanceUntil(condition, limit);
    }
    // Milliseconds since the origin.
    std::int64_t Now() const;

    // --- What happened ---
    std::vector<HeardSound> HeardOnLine();
    std::vector<HeardSound> HeardOnSoundCard();
    std::vector<std::string> HeardNames();
    // Status texts set, consecutive repeats collapsed.
    std::vector<std::string> Statuses() const;
    std::vector<store::MessageRecord> Messages() const;
    bool IsTimerRunning(platform::TimerId id) const { return clock.IsTimerRunning(*this, id); }

    void OnTimer(platform::TimerId id) override { engine.OnMainWindowTimer(id); }

    platform::VirtualClock clock{platform::LocalTime{2026, 1, 5, 14, 30, 0, 0}, kStartTick};
    porthold::testing::TemporaryFolder folder;
    config::Settings settings;
    porthold::testing::RecordingErrorLog log;
    porthold::testing::RecordingStatusLine status;
    porthold::testing::ScriptedMessageBoxes boxes;
    ModalMessageBoxes modalBoxes{boxes};
    RecordingMainControls controls;
    service::TelephonyService service{clock};
    service::SimulatedModemLine& line;
    platform::SimulatedSoundCard soundCard{clock};
    platform::WaveDevices devices;
    RecordingTapi tapi{service};
    TelephonyHandles handles;
    CallState state;
    audio::Audio audio{devices, clock, log, settings, state};
    store::CallerPinList callers;
    store::MessageList messages;
    VirtualDialogs dialogs{clock, audio.Player()};
    InterleavedReplyWait replyWait{clock};
    VirtualLineEventWatch lineEventWatch{clock};
    // Makes every message number taken, for the full-folder case.
    bool everyMessageFileTaken = false;
    CallEngine engine;
    TestCaller caller;
    CallerSchedule schedule{clock};

private:
    std::vector<HeardSound> Name(const std::vector<platform::PlayedSound>& timeline) const;

    std::int64_t origin_ = 0;
    std::map<std::vector<std::int16_t>, std::string> soundNames_;
};

}  // namespace porthold::telephony::testing
