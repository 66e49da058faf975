// Remote retrieval: every message played over the line, each after a beep.

#include "telephony/call_engine.h"

namespace porthold::telephony {

namespace {

// After a key, before the next sound is asked for.
constexpr std::uint32_t kKeyPauseMilliseconds = 100;

}  // namespace

void CallEngine::PlayNextMessage() {
    // The line's wave device admits one sound at a time, so each request
    // below waits for the sound before it: the beep starts when the previous
    // message has ended, the message when the beep has. The beep is released
    // while messagePlaying is set, which marks the step to the next message.
    const std::string beep = settings_.soundsFolder + "default_beep.wav";
    state_.messagePlaying = false;
    Play(beep, audio::Interruptible::No);
    state_.messagePlaying = true;
    std::string path;
    if (messages_.GetPath(state_.retrievalIndex, path)) {
        Play(path, audio::Interruptible::No);
    } else {
        // Past the last message: a second beep, then silence.
        state_.messagePlaying = false;
        Play(beep, audio::Interruptible::No);
    }
}

void CallEngine::HandleRetrievalKey(char key) {
    // Clearing messageFinished cancels the pending step to the next message.
    state_.messagePlaying = false;
    state_.messageFinished = false;
    // Retrieval sounds are not interruptible: the one playing goes on to its end.
    player_.InterruptWaveOut();
    clock_.Sleep(kKeyPauseMilliseconds);
    if (key == '1') {
        state_.retrievalIndex = 0;
        PlayNextMessage();
    } else if (key == '2') {
        PlayNextMessage();
    }
}

}  // namespace porthold::telephony
