#include "dialog_fixture.h"

#include <filesystem>

#include "audio/wave_layout.h"

namespace porthold::ui::testing {

namespace {

// The program's tick: timer 0 every 10 milliseconds.
constexpr platform::TimerId kTickTimer = 0;
constexpr std::uint32_t kTickMilliseconds = 10;

config::Settings ProgramSettings(const std::string& programFolder) {
    config::Settings settings;
    settings.Path = programFolder;
    settings.DeriveFolders();
    std::filesystem::create_directories(settings.messagesFolder);
    std::filesystem::create_directories(settings.soundsFolder);
    return settings;
}

}  // namespace

DialogFixture::DialogFixture()
    : settings(ProgramSettings(folder.Path())),
      callers(folder.Path()),
      messages(settings.messagesFolder),
      registry(folder.File("registry.reg")) {
    devices.RegisterSoundCard(soundCard);
    clock.SetTimer(tick_, kTickTimer, kTickMilliseconds);
}

DialogFixture::~DialogFixture() {
    clock.KillTimer(tick_, kTickTimer);
    audio.Teardown();
}

void DialogFixture::Tick::OnTimer(platform::TimerId /*id*/) {
    if (audio_.Recorder().IsRecording()) {
        audio_.Recorder().Rebuffer();
    }
    audio_.Player().DeleteWaveOut();
}

std::string DialogFixture::WriteSound(const std::string& name, std::uint32_t milliseconds) {
    const std::string path = settings.soundsFolder + name;
    const std::vector<std::int16_t> samples(milliseconds * 8, 2000);
    EXPECT_TRUE(audio::WriteTelephonyWaveFile(path, samples)) << path;
    return path;
}

int DialogFixture::RunModal(QDialog& dialog, std::function<void(QDialog&)> whileOpen) {
    const char* className = dialog.metaObject()->className();
    porthold::testing::WhenModalOpens(className,
                                      [whileOpen = std::move(whileOpen)](QWidget& modal) {
                                          whileOpen(static_cast<QDialog&>(modal));
                                      });
    return dialog.exec();
}

std::vector<std::string> DialogFixture::BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& shown : messageBoxes.shown()) {
        texts.push_back(shown.text);
    }
    return texts;
}

}  // namespace porthold::ui::testing
