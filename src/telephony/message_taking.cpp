// Taking a message: the prompt, the beep, the list entry and the recording.

#include <optional>
#include <string>

#include "platform/local_time.h"
#include "telephony/call_engine.h"

namespace porthold::telephony {

namespace {

// Between two looks at the play queue while the prompt and the beep play out.
constexpr std::uint32_t kSilencePollMilliseconds = 1;

}  // namespace

bool CallEngine::RecordMessage(std::uint32_t waveInDevice) {
    const HCALL call = state_.callHandle;
    messageCall_ = call;
    // The greeting's timers would replay the greeting into the recording or
    // hang up on the caller mid-message, whichever way message taking began
    // (a pulse-dialling caller comes here with them still running).
    KillCallTimers();
    SetStatus(" Recording Message...");
    Play(settings_.RecordMsg, audio::Interruptible::No);
    Play(settings_.Beep, audio::Interruptible::No);
    WaitForSilence();
    // No key may end or disturb the recording.
    MonitorDigits(0, "RecordMessage: lineMonitorDigits");

    // A name still listed is taken even when it has no file (the caller of a
    // message whose list could not be saved hung up before the recording):
    // given out again, it would list two messages under one file, and deleting
    // either would delete the other's recording.
    const std::optional<std::string> path =
        FirstFreeMessageFile(settings_.messagesFolder, messages_, messageFileExists_);
    if (!path) {
        messageBoxes_.Show("There are too many saved recordings, please delete some.",
                           platform::kMessageBoxCaption, platform::MessageBoxButtons::Ok,
                           platform::MessageBoxIcon::Information);
        errorLog_.LogError("RecordMessage: Too many recorded messages.");
        return false;
    }
    const std::string dateTime = platform::FormatDateTime(clock_.Now());
    if (!messages_.AddNode(*path, state_.digits, dateTime, store::MessageStatus::New)) {
        errorLog_.LogError("RecordMessage: Message node creation failure.");
        return false;
    }
    state_.newMessageCount = messages_.CountNew();
    // The entry stays in memory when it cannot be saved, and is written with
    // the next save that succeeds.
    const bool listSaved = messages_.SaveList();
    if (!listSaved) {
        messageBoxes_.Show("Could not open message file.", platform::kMessageBoxCaption,
                           platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Information);
        errorLog_.LogError("Could not save message file.");
        // The box is modal and the tick runs beneath it: the caller may have
        // hung up meanwhile, and a line with no call is not recorded.
        if (!IsSameCallActive(call)) {
            return true;
        }
    }
    if (!recorder_.RecordSound(*path, waveInDevice, audio::SilenceDetection::On) &&
        !messageFileExists_(*path)) {
        // No file could be made (a read-only folder): the entry would name
        // nothing, and the next message, given the same free name, would be
        // listed twice.
        messages_.DeleteNode(*path);
        state_.newMessageCount = messages_.CountNew();
        if (listSaved) {
            messages_.SaveList();
        }
    }
    return true;
}

void CallEngine::WaitForSilence() {
    // Releases the prompt and the beep once played and cuts off any
    // interruptible sound (a greeting still playing), so that the recording
    // starts on a quiet line. The main thread does nothing else meanwhile.
    for (;;) {
        player_.InterruptWaveOut();
        if (player_.IsQueueEmpty()) {
            return;
        }
        clock_.Sleep(kSilencePollMilliseconds);
    }
}

}  // namespace porthold::telephony
