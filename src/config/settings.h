#pragma once

#include <cstdint>
#include <string>

namespace porthold::config {

// The program's twelve stored settings, named as they are stored, plus the two
// folders derived from `Path` once at start-up.
struct Settings {
    std::uint32_t RingsAnswer = 1;
    std::int32_t RingsMessage = 4;
    std::int32_t SilenceLevel = 0;
    bool UseSitTone = false;
    std::string Path;  // the program folder, always ending in "/"
    std::string Greeting;
    std::string RecordMsg;
    std::string ValidPIN;
    std::string InvalidPIN;
    std::string Beep;
    std::string NoAnswer;
    std::string RemotePIN = "958";

    // `Path` followed by "messages/" and "sounds/", as they were at start-up.
    // They keep those values for the whole run, even when `Path` changes later.
    std::string messagesFolder;
    std::string soundsFolder;

    void DeriveFolders() {
        messagesFolder = Path + "messages/";
        soundsFolder = Path + "sounds/";
    }
};

}  // namespace porthold::config
