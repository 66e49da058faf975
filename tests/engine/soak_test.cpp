// A randomised soak of the real engine, audio and stores in virtual time:
// calls of random shape one after another, each followed by a check that the
// engine came back to rest, ready for the next caller.
//
// Two environment variables steer it:
//   PORTHOLD_SOAK_SEED   the seed of every random choice; random when unset.
//                        The test prints the seed it uses, so that a failing
//                        run can be replayed exactly.
//   PORTHOLD_SOAK_CALLS  how many calls to make; 300 when unset.
// For example:
//   PORTHOLD_SOAK_SEED=42 PORTHOLD_SOAK_CALLS=2000 engine_tests --gtest_filter='EngineSoak.*'

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "audio/wave_layout.h"
#include "engine_scenario.h"
#include "platform/files.h"

namespace porthold::telephony::testing {
namespace {

constexpr std::uint64_t kDefaultCalls = 300;
// Longer than any call lasts on its own: a whole greeting, a prompt and a
// message of two minutes.
constexpr std::uint32_t kCallLimitMilliseconds = 200000;
// The engine waits for each message it plays back to end before it reads
// what the owner did meanwhile: after a hang-up the message playing, the next
// one, and one for each '1' or '2' keyed before the hang-up play on, each of
// up to two minutes.
constexpr std::uint32_t kSettleLimitMilliseconds = 15 * 60 * 1000;

std::optional<std::uint64_t> FromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno != 0) {
        ADD_FAILURE() << name << " is not a number: " << text;
        return std::nullopt;
    }
    return value;
}

enum class CallKind { Abandoned, Silent, Message, WrongPins, ListedCaller, Owner, KeyFlood };
constexpr const char* kCallKindNames[] = {"abandoned",     "silent", "message",  "wrong PINs",
                                          "listed caller", "owner",  "key flood"};
constexpr std::uint32_t kCallKindCount = std::size(kCallKindNames);

class EngineSoak : public EngineScenario {
protected:
    EngineSoak() { AddCaller("123", "Ann is calling", WriteSound("ann.wav", "ann", 1500)); }

    std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random_);
    }
    bool Chance(double probability) { return std::bernoulli_distribution(probability)(random_); }
    void Note(const std::string& text) { shape_ << text << ' '; }

    // Runs `action` `delay` from now, unless the call it was meant for is
    // over: the caller object is reused, so a late action would otherwise
    // reach the next call.
    void During(std::uint32_t delay, std::function<void()> action) {
        After(delay, [this, call = callNumber_, action = std::move(action)] {
            if (call == callNumber_) {
                action();
            }
        });
    }

    // Once `condition` holds, waits `delay` and runs `action`.
    void WhenThen(std::function<bool()> condition, std::uint32_t delay,
                  std::function<void()> action) {
        During(10, [this, condition, delay, action] {
            if (condition()) {
                During(delay, action);
            } else {
                WhenThen(condition, delay, action);
            }
        });
    }

    void HangUpAfter(std::uint32_t delay) {
        During(delay, [this] { line.HangUp(&caller); });
    }

    std::string RandomKeys(std::uint32_t count, const char* keys) {
        const std::string_view set(keys);
        std::string pressed;
        for (std::uint32_t index = 0; index < count; ++index) {
            pressed += set[Between(0, static_cast<std::uint32_t>(set.size()) - 1)];
        }
        return pressed;
    }

    void KeysAt(std::uint32_t delay, const std::string& keys,
                service::KeyMode mode = service::KeyMode::Dtmf) {
        Note("keys'" + keys + (mode == service::KeyMode::Pulse ? "'(pulse)" : "'") + "@" +
             std::to_string(delay));
        During(delay, [this, keys, mode] { Press(keys, mode); });
    }

    // What the caller says once the recording has started: nothing (silence
    // ends the message), a few words, or more than the two-minute limit.
    void SpeakWhenRecording() {
        const std::uint32_t pause = Between(0, 4000);
        std::uint32_t length = 0;
        if (Chance(0.15)) {
            length = Between(118000, 130000);
        } else if (Chance(0.75)) {
            length = Between(200, 15000);
        }
        Note("speech " + std::to_string(length) + "@rec+" + std::to_string(pause));
        if (length > 0) {
            WhenThen([this] { return audio.Recorder().IsRecording(); }, pause,
                     [this, length] { line.Speak(Speech(length), &caller); });
        }
    }

    std::string WrongPin() {
        std::string pin;
        do {
            pin = RandomKeys(Between(1, 6), "0123456789");
        } while (pin == "123" || pin == settings.RemotePIN);
        return pin + "#";
    }

    void Abandon() {
        settings.RingsAnswer = 3;
        const std::uint32_t rings = Between(0, 2);
        Note("rings " + std::to_string(rings));
        ASSERT_EQ(line.Dial(&caller), service::DialResult::Offered);
        for (std::uint32_t ring = 0; ring < rings; ++ring) {
            line.Ring(&caller);
            Run(Between(10, 1500));
        }
        line.HangUp(&caller);
        settings.RingsAnswer = 1;
    }

    void PlanListedCaller() {
        KeysAt(Between(0, 10000), "123#");
        switch (Between(0, 4)) {
            case 0:
                Note("user answers");
                dialogs.press =
                    VirtualDialogs::Press{VirtualDialogs::Button::Answer, Between(0, 18000)};
                if (Chance(0.3)) {
                    TalkThroughTheComputer();
                }
                break;
            case 1:
                Note("user takes message");
                dialogs.press =
                    VirtualDialogs::Press{VirtualDialogs::Button::TakeMessage, Between(0, 18000)};
                break;
            case 2:
                Note("user escapes");
                dialogs.press =
                    VirtualDialogs::Press{VirtualDialogs::Button::Escape, Between(0, 18000)};
                break;
            case 3: {
                const std::uint32_t delay = Between(0, 20000);
                Note("caller answers @notification+" + std::to_string(delay));
                WhenThen([this] { return state.notificationPending; }, delay,
                         [this] { Press(RandomKeys(1, "0123456789#")); });
                break;
            }
            default:
                Note("nobody answers");
                break;
        }
        SpeakWhenRecording();
    }

    // A line without a handset: the user talks through the computer and may
    // hang up first.
    void TalkThroughTheComputer() {
        handles.phoneHookSwitchDevices = PHONEHOOKSWITCHDEV_HEADSET;
        tapi.hookSwitchResult = 0;
        if (Chance(0.5)) {
            dialogs.hangUpAfterMilliseconds = Between(0, 20000);
            Note("talks, user hangs up@" + std::to_string(*dialogs.hangUpAfterMilliseconds));
        } else {
            // The talk window stays open until either side hangs up.
            const std::uint32_t delay = Between(0, 20000);
            Note("talks, caller hangs up@connected+" + std::to_string(delay));
            WhenThen([this] { return status.Current() == " Connected..."; }, delay,
                     [this] { line.HangUp(&caller); });
        }
    }

    // The user deletes the oldest messages in the messages window, which
    // suspends answering while it is open; numbers of deleted files are then
    // used again.
    void UserDeletesOldMessages() {
        state.answeringEnabled = false;
        while (messages.NodeCount() > 8) {
            std::string path;
            ASSERT_TRUE(messages.GetPath(0, path));
            messages.DeleteNode(path);
            platform::DeleteFile(path);
        }
        ASSERT_TRUE(messages.SaveList());
        state.newMessageCount = messages.CountNew();
        state.answeringEnabled = true;
        Run(20);
    }

    void PlanWrongPins() {
        const std::uint32_t count = Between(1, 3);
        std::uint32_t moment = Between(0, 8000);
        for (std::uint32_t pin = 0; pin < count; ++pin) {
            KeysAt(moment, WrongPin());
            moment += Between(300, 9000);
        }
        if (count == 3) {
            SpeakWhenRecording();
        } else if (Chance(0.5)) {
            PlanListedCaller();
        }
    }

    void PlanOwner() {
        std::uint32_t moment = Between(0, 8000);
        KeysAt(moment, "958#");
        for (std::uint32_t key = Between(0, 4); key > 0; --key) {
            moment += Between(100, 6000);
            KeysAt(moment, RandomKeys(1, "123#*7A"));
        }
    }

    void PlanMessage() {
        if (Chance(0.2)) {
            const std::string first = RandomKeys(Between(0, 3), "0123456789");
            KeysAt(Between(0, 3000), first);
            KeysAt(Between(3000, 8000), RandomKeys(1, "0123456789"), service::KeyMode::Pulse);
        } else {
            KeysAt(Between(0, 20000), "#");
        }
        SpeakWhenRecording();
    }

    // A hang-up at a random moment, or at a random time into a phase; or
    // none, and the engine ends the call (or the soak does, at its limit).
    void PlanHangUp() {
        const std::uint32_t delay = Between(0, 4000);
        switch (Between(0, 7)) {
            case 0:
            case 1: {
                const std::uint32_t moment = Between(0, 60000);
                Note("hang-up@" + std::to_string(moment));
                HangUpAfter(moment);
                break;
            }
            case 2:
                Note("hang-up@rec+" + std::to_string(delay));
                WhenThen([this] { return audio.Recorder().IsRecording(); }, delay,
                         [this] { line.HangUp(&caller); });
                break;
            case 3:
                Note("hang-up@notification+" + std::to_string(delay * 4));
                WhenThen([this] { return state.notificationPending; }, delay * 4,
                         [this] { line.HangUp(&caller); });
                break;
            case 4:
                Note("hang-up@playing+" + std::to_string(delay));
                WhenThen([this] { return state.messagePlaying; }, delay,
                         [this] { line.HangUp(&caller); });
                break;
            case 5:
                Note("hang-up@connected+" + std::to_string(delay));
                WhenThen([this] { return status.Current() == " Connected..."; }, delay,
                         [this] { line.HangUp(&caller); });
                break;
            default:
                Note("no hang-up");
                break;
        }
    }

    // Another caller, or another application, finds the line busy.
    void PlanIntrusions() {
        if (Chance(0.1)) {
            const std::uint32_t moment = Between(0, 30000);
            Note("intruder@" + std::to_string(moment));
            During(moment, [this] {
                if (line.IsInCall()) {
                    EXPECT_EQ(line.Dial(&intruder_), service::DialResult::Busy);
                    EXPECT_FALSE(line.HoldOtherCall(service::OtherCall::Held));
                }
            });
        }
        if (Chance(0.1)) {
            const std::uint32_t moment = Between(0, 30000);
            const std::uint32_t rings = Between(5, 40);
            Note("ring flood " + std::to_string(rings) + "@" + std::to_string(moment));
            During(moment, [this, rings] {
                for (std::uint32_t ring = 0; ring < rings; ++ring) {
                    line.Ring(&caller);
                }
            });
        }
    }

    void OtherApplicationHoldsTheLine() {
        const std::uint32_t held = Between(20, 3000);
        Note("other call " + std::to_string(held));
        ASSERT_TRUE(line.HoldOtherCall(service::OtherCall::Held));
        Run(held);
        EXPECT_EQ(line.Dial(&intruder_), service::DialResult::Busy);
        EXPECT_EQ(status.Current(), " Line in use...");
        ASSERT_TRUE(line.HoldOtherCall(service::OtherCall::Released));
        Run(50);
    }

    void OneCall(CallKind kind) {
        Note(std::string(kCallKindNames[static_cast<std::size_t>(kind)]) + ":");
        if (Chance(0.05)) {
            OtherApplicationHoldsTheLine();
        }
        if (kind == CallKind::Abandoned) {
            Abandon();
            return;
        }
        CallIn();
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
        switch (kind) {
            case CallKind::Silent:
                break;
            case CallKind::Message:
                PlanMessage();
                break;
            case CallKind::WrongPins:
                PlanWrongPins();
                break;
            case CallKind::ListedCaller:
                PlanListedCaller();
                break;
            case CallKind::Owner:
                PlanOwner();
                break;
            default:
                KeysAt(Between(0, 20000), RandomKeys(Between(20, 60), "0123456789*#ABCD"),
                       Chance(0.2) ? service::KeyMode::Pulse : service::KeyMode::Dtmf);
                SpeakWhenRecording();
                break;
        }
        PlanIntrusions();
        PlanHangUp();
        RunUntil([this] { return !line.IsInCall(); }, kCallLimitMilliseconds);
        if (line.IsInCall()) {
            Note("(hung up at the limit)");
            line.HangUp(&caller);
        }
    }

    // Everything of the engine and its devices that should be at rest between
    // calls and is not, as text.
    std::string EngineFaults() {
        std::ostringstream faults;
        if (status.Current() != " Waiting for call...") {
            faults << "status '" << status.Current() << "'; ";
        }
        if (state.callActive || state.callHandle != 0 || !state.digits.empty() ||
            state.hangUpRequested || state.pinComplete || state.retrieving ||
            state.messagePlaying || state.notificationPending || state.callerKeyed ||
            state.rungThrough || state.invalidPinCount != 0) {
            faults << "call state left (digits '" << state.digits << "'); ";
        }
        const std::pair<platform::TimerId, const char*> callTimers[] = {
            {kDisconnectTimer, "DISCONNECT"},
            {kRenotifyTimer, "RENOTIFY"},
            {kWaitDigitTimer, "WAITDIGIT"}};
        for (const auto& [timer, name] : callTimers) {
            if (IsTimerRunning(timer)) {
                faults << name << " timer running; ";
            }
        }
        if (!IsTimerRunning(kTickTimer)) {
            faults << "tick stopped; ";
        }
        if (audio.Recorder().IsRecording()) {
            faults << "recording; ";
        }
        if (audio.Recorder().HasBuffers()) {
            faults << "recorder buffers held; ";
        }
        if (!audio.Player().IsQueueEmpty() || devices.OpenOutputCount() != 0 ||
            devices.OpenInputCount() != 0 || line.VoiceChannel().IsOpen() ||
            soundCard.OpenOutputCount() != 0 || soundCard.OpenInputCount() != 0) {
            faults << "wave devices open (" << devices.OpenOutputCount() << " out, "
                   << devices.OpenInputCount() << " in, " << audio.Player().Queue().size()
                   << " queued" << (line.VoiceChannel().IsOpen() ? ", line" : "")
                   << (soundCard.OpenOutputCount() + soundCard.OpenInputCount() > 0 ? ", card" : "")
                   << "); ";
        }
        return faults.str();
    }

    // The list in memory, messages.lst and the messages folder must agree.
    std::string MessageStoreFaults() {
        namespace fs = std::filesystem;
        std::ostringstream faults;
        std::set<std::string> listed;
        for (const store::MessageRecord& message : Messages()) {
            listed.insert(message.path);
        }
        store::MessageList saved(settings.messagesFolder);
        if (saved.LoadList()) {
            if (saved.NodeCount() != static_cast<int>(listed.size())) {
                faults << "messages.lst holds " << saved.NodeCount() << " of " << listed.size()
                       << " messages; ";
            }
        } else if (!listed.empty()) {
            faults << "messages.lst unreadable; ";
        }
        std::set<std::string> onDisk;
        for (const fs::directory_entry& entry : fs::directory_iterator(settings.messagesFolder)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && entry.file_size() == 0) {
                faults << name << " is empty; ";
            }
            if (name.starts_with("m") && name.ends_with(".wav")) {
                onDisk.insert(settings.messagesFolder + name);
            }
        }
        for (const std::string& path : listed) {
            if (!onDisk.contains(path)) {
                faults << path << " listed but missing; ";
            }
        }
        for (const std::string& path : onDisk) {
            if (!listed.contains(path)) {
                faults << path << " not listed; ";
            }
        }
        // One call leaves one message at most, and it can be played.
        const int taken = messages.NodeCount() - messagesBefore_;
        if (taken > 1) {
            faults << taken << " messages from one call; ";
        } else if (taken == 1 && !audio::ReadWaveSamples(Messages().back().path)) {
            faults << Messages().back().path << " is no WAVE file; ";
        }
        return faults.str();
    }

    // Between calls: the records of one call are of no use to the next and,
    // kept, would grow with every call; the line has its handset back; and
    // now and then the user clears out old messages.
    void PrepareTheNextCall() {
        ++callNumber_;
        handles.phoneHookSwitchDevices = savedHookSwitchDevices_;
        tapi.hookSwitchResult.reset();
        dialogs.hangUpAfterMilliseconds.reset();
        if (messages.NodeCount() > 12) {
            UserDeletesOldMessages();
        }
        messagesBefore_ = messages.NodeCount();
        caller = TestCaller{};
        intruder_ = TestCaller{};
        dialogs.press.reset();
        dialogs.shown.clear();
        line.VoiceChannel().TakeTimeline();
        soundCard.TakeTimeline();
        tapi.calls.clear();
        controls.events.clear();
        if (status.texts.size() > 1) {
            status.texts.erase(status.texts.begin(), status.texts.end() - 1);
        }
        shape_.str("");
    }

    std::mt19937_64 random_;
    std::uint64_t callNumber_ = 0;
    int messagesBefore_ = 0;
    const DWORD savedHookSwitchDevices_ = handles.phoneHookSwitchDevices;
    std::ostringstream shape_;
    TestCaller intruder_;
};

TEST_F(EngineSoak, RandomCallsLeaveTheEngineReadyForTheNext) {
    const std::uint64_t seed =
        FromEnvironment("PORTHOLD_SOAK_SEED").value_or(std::random_device{}());
    const std::uint64_t calls = FromEnvironment("PORTHOLD_SOAK_CALLS").value_or(kDefaultCalls);
    std::cout << "EngineSoak: PORTHOLD_SOAK_SEED=" << seed << " PORTHOLD_SOAK_CALLS=" << calls
              << std::endl;
    random_.seed(seed);

    std::set<std::string> logged;
    // One plain call follows the last random one, so that the last is also
    // seen to leave the engine answering.
    for (std::uint64_t call = 1; call <= calls + 1; ++call) {
        if (call <= calls) {
            OneCall(static_cast<CallKind>(Between(0, kCallKindCount - 1)));
        } else {
            Note("plain call, hang-up@5000");
            CallIn();
            HangUpAfter(5000);
            RunUntil([this] { return !line.IsInCall(); }, kCallLimitMilliseconds);
        }
        RunUntil([this] { return EngineFaults().empty(); }, kSettleLimitMilliseconds);
        const std::string faults = EngineFaults() + MessageStoreFaults();
        const std::string where = "seed " + std::to_string(seed) +
                                  " (replay with PORTHOLD_SOAK_SEED=" + std::to_string(seed) +
                                  "), call " + std::to_string(call) + " of " +
                                  std::to_string(calls) + ": " + shape_.str();
        EXPECT_EQ(faults, "") << where;
        if (HasFailure()) {
            ADD_FAILURE() << "the soak stopped at " << where;
            return;
        }
        logged.insert(log.lines.begin(), log.lines.end());
        log.lines.clear();
        PrepareTheNextCall();
    }
    for (const std::string& text : logged) {
        std::cout << "EngineSoak: logged '" << text << "'" << std::endl;
    }
}

}  // namespace
}  // namespace porthold::telephony::testing
