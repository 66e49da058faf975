#pragma once

#include <string>

#include "config/settings.h"
#include "platform/files.h"

namespace porthold::telephony::testing {

// The committed sounds the engine plays, with the short names the scenarios
// report them by.
struct EngineSound {
    const char* file;
    const char* name;
};

inline constexpr EngineSound kEngineSounds[] = {
    {"sit_tone.wav", "sit"},
    {"default_greeting.wav", "greeting"},
    {"default_message_prompt.wav", "record-prompt"},
    {"default_beep.wav", "beep"},
    {"default_valid_pin.wav", "valid-pin"},
    {"default_invalid_pin.wav", "invalid-pin"},
    {"default_no_answer.wav", "no-answer"},
    {"default_ring.wav", "ring"},
};

// Gives the program folder in `settings` its messages and sounds folders, the
// sounds copied from `source` (ending in "/") and chosen as the prompts;
// whether every copy succeeded.
inline bool PrepareProgramFolder(config::Settings& settings, const std::string& source) {
    settings.DeriveFolders();
    platform::CreateDirectory(settings.messagesFolder);
    platform::CreateDirectory(settings.soundsFolder);
    bool copied = true;
    for (const EngineSound& sound : kEngineSounds) {
        copied = platform::CopyFile(source + sound.file, settings.soundsFolder + sound.file,
                                    platform::ExistingTarget::Overwrite) &&
                 copied;
    }
    settings.Greeting = settings.soundsFolder + "default_greeting.wav";
    settings.RecordMsg = settings.soundsFolder + "default_message_prompt.wav";
    settings.ValidPIN = settings.soundsFolder + "default_valid_pin.wav";
    settings.InvalidPIN = settings.soundsFolder + "default_invalid_pin.wav";
    settings.Beep = settings.soundsFolder + "default_beep.wav";
    settings.NoAnswer = settings.soundsFolder + "default_no_answer.wav";
    settings.SilenceLevel = 10;
    return copied;
}

}  // namespace porthold::telephony::testing
