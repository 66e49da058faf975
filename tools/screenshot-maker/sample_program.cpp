#include "sample_program.h"

#include <QDir>
#include <array>
#include <cstdio>
#include <filesystem>

namespace porthold::screenshots {

namespace {

struct SampleMessage {
    const char* pin;
    const char* dateTime;
    store::MessageStatus status;
};

}  // namespace

ScratchFolder::ScratchFolder() : path_(QDir::tempPath().toStdString() + "/porthold-screenshots/") {
    QDir folder(QString::fromStdString(path_));
    valid_ = (!folder.exists() || folder.removeRecursively()) && folder.mkpath(".");
}

ScratchFolder::~ScratchFolder() {
    QDir(QString::fromStdString(path_)).removeRecursively();
}

SampleProgram::SampleProgram()
    : settings_(MakeSettings(folder_.Path())),
      registry_(settings_.Path + "registry.reg"),
      errorLog_(settings_, clock_),
      audio_(waveDevices_, clock_, errorLog_, settings_, callState_),
      callers_(settings_.Path),
      messages_(settings_.messagesFolder) {
    // Without the folders the lists are not written; main() has already
    // refused to go on when the scratch folder itself is missing.
    std::error_code ignored;
    std::filesystem::create_directories(settings_.soundsFolder, ignored);
    std::filesystem::create_directories(settings_.messagesFolder, ignored);
    CopyDefaultSounds();
    AddCallers();
    AddMessages();
}

config::Settings SampleProgram::MakeSettings(const std::string& folder) {
    config::Settings settings;
    settings.Path = folder;
    settings.DeriveFolders();
    settings.Greeting = settings.soundsFolder + "default_greeting.wav";
    settings.RecordMsg = settings.soundsFolder + "default_message_prompt.wav";
    settings.ValidPIN = settings.soundsFolder + "default_valid_pin.wav";
    settings.InvalidPIN = settings.soundsFolder + "default_invalid_pin.wav";
    settings.Beep = settings.soundsFolder + "default_beep.wav";
    settings.NoAnswer = settings.soundsFolder + "default_no_answer.wav";
    settings.RemotePIN = "958";
    return settings;
}

void SampleProgram::CopyDefaultSounds() const {
    // The pictures do not depend on the sounds; a missing one is no reason to stop.
    std::error_code ignored;
    std::filesystem::copy(PORTHOLD_DEFAULT_SOUNDS, settings_.soundsFolder,
                          std::filesystem::copy_options::skip_existing, ignored);
}

void SampleProgram::AddCallers() {
    const std::string ring = settings_.soundsFolder + "default_ring.wav";
    callers_.AddNode("1234", "Mom is calling", ring);
    callers_.AddNode("5678", "Grandpa Joe is calling", ring);
    callers_.AddNode("4321", "Incoming call from... Alex", ring);
    callers_.SaveList();
}

void SampleProgram::AddMessages() {
    static constexpr std::array<SampleMessage, 3> kMessages = {{
        {"1234", "01/03/2026 07:15 PM", store::MessageStatus::Heard},
        {"5678", "01/04/2026 10:02 AM", store::MessageStatus::New},
        {"4321", "01/05/2026 08:47 AM", store::MessageStatus::New},
    }};
    int number = 0;
    for (const SampleMessage& message : kMessages) {
        char name[16];
        std::snprintf(name, sizeof name, "m%07d.wav", number++);
        const std::string path = settings_.messagesFolder + name;
        std::error_code ignored;
        std::filesystem::copy_file(settings_.Greeting, path, ignored);
        messages_.AddNode(path, message.pin, message.dateTime, message.status);
    }
    messages_.SaveList();
}

ui::DialogServices SampleProgram::Services() {
    return ui::DialogServices{
        .clock = clock_,
        .messageBoxes = messageBoxes_,
        .fileDialogs = fileDialogs_,
        .registry = registry_,
        .errorLog = errorLog_,
        .settings = settings_,
        .audio = audio_,
        .callers = callers_,
        .messages = messages_,
    };
}

}  // namespace porthold::screenshots
