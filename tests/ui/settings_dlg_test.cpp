#include "ui/settings_dlg.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "audio/wave_layout.h"
#include "config/settings_registry.h"
#include "dialog_fixture.h"
#include "platform/files.h"
#include "support/fake_environment.h"
#include "ui/recording_dlg.h"

namespace porthold::ui {
namespace {

using platform::MessageBoxAnswer;
using porthold::testing::WhenModalOpens;

constexpr const char* kRangeOneToSix = "Enter an integer between 1 and 6.";

class SettingsDlgTest : public testing::DialogFixture {
protected:
    SettingsDlgTest() {
        // The key as start-up leaves it, with this folder as the program folder.
        environment.currentDirectory = folder.Path().substr(0, folder.Path().size() - 1);
        config::SettingsRegistry(settings, registry, messageBoxes, log, environment).SetDefaults();
    }

    // The settings as the main window's reload reads them from the key.
    config::Settings Stored() {
        platform::FileRegistry fresh(registry.Path());
        config::Settings stored;
        config::SettingsRegistry(stored, fresh, messageBoxes, log, environment)
            .LoadOrCreateSettings();
        return stored;
    }

    std::string RegistryFile() const { return folder.Read("registry.reg"); }

    template <typename Widget>
    static Widget* Find(const QWidget& dialog, const char* name) {
        auto* widget = dialog.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static void Type(const QWidget& dialog, const char* numberEdit, const char* text) {
        Find<QAbstractSpinBox>(dialog, numberEdit)->findChild<QLineEdit*>()->setText(text);
    }

    static void TypePin(const QWidget& dialog, const char* text) {
        auto* pin = Find<QLineEdit>(dialog, "remotePinEdit");
        pin->clear();
        QTest::keyClicks(pin, QString::fromLatin1(text));
    }

    // Sounds played on the sound card, by their length in samples.
    std::vector<std::size_t> PlayedSampleCounts() const {
        std::vector<std::size_t> counts;
        for (const platform::PlayedSound& sound : soundCard.Timeline()) {
            counts.push_back(sound.Samples().size());
        }
        return counts;
    }

    porthold::testing::FakeEnvironment environment;
};

TEST_F(SettingsDlgTest, ChangeEditsTheSelectedPromptAndSaveWritesEveryValue) {
    const std::string prompt = WriteSound("my_prompt.wav", 500);
    folder.Write("sounds/not_a_wave.wav", "plain text");
    SettingsDlg dialog(services, settings);
    auto* list = Find<QComboBox>(dialog, "soundList");
    auto* path = Find<QLineEdit>(dialog, "soundPathEdit");
    EXPECT_EQ(list->currentText(), "Initial Greeting");
    EXPECT_EQ(path->text().toStdString(), settings.Greeting);
    EXPECT_FALSE(path->isEnabled());

    list->setCurrentIndex(list->findText("Message Prompt"));
    EXPECT_EQ(path->text().toStdString(), settings.RecordMsg);
    fileDialogs.QueueAnswer(prompt);
    Find<QPushButton>(dialog, "changeButton")->click();
    EXPECT_EQ(path->text().toStdString(), prompt);
    EXPECT_EQ(PlayedSampleCounts(), std::vector<std::size_t>{4000}) << "previewed";

    // A file that is no WAVE file is refused silently, yet kept as chosen.
    list->setCurrentIndex(list->findText("No Answer"));
    fileDialogs.QueueAnswer(folder.File("sounds/not_a_wave.wav"));
    Find<QPushButton>(dialog, "changeButton")->click();
    Find<QPushButton>(dialog, "testButton")->click();
    EXPECT_EQ(soundCard.Timeline().size(), 1u);
    ASSERT_EQ(fileDialogs.requests().size(), 2u);
    EXPECT_EQ(fileDialogs.requests()[0].purpose, platform::FileDialogPurpose::Open);
    EXPECT_EQ(fileDialogs.requests()[0].startFolder, settings.soundsFolder);

    list->setCurrentIndex(0);
    EXPECT_EQ(path->text().toStdString(), settings.Greeting) << "other prompts untouched";
    Type(dialog, "ringsToAnswerEdit", "3");
    Type(dialog, "ringsToMessageEdit", " 5 ");
    Type(dialog, "silenceLevelEdit", "40");
    TypePin(dialog, "24680");
    Find<QCheckBox>(dialog, "sitToneCheck")->setChecked(true);
    Find<QPushButton>(dialog, "saveButton")->click();

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const config::Settings stored = Stored();
    EXPECT_EQ(stored.RingsAnswer, 3u);
    EXPECT_EQ(stored.RingsMessage, 5);
    EXPECT_EQ(stored.SilenceLevel, 40);
    EXPECT_TRUE(stored.UseSitTone);
    EXPECT_EQ(stored.RecordMsg, prompt);
    EXPECT_EQ(stored.NoAnswer, folder.File("sounds/not_a_wave.wav"));
    EXPECT_EQ(stored.Greeting, settings.Greeting);
    EXPECT_EQ(stored.Beep, settings.Beep);
    EXPECT_EQ(stored.RemotePIN, "24680");
    EXPECT_EQ(stored.Path, settings.Path);
    EXPECT_TRUE(messageBoxes.shown().empty());
}

TEST_F(SettingsDlgTest, ANumberOutOfRangeKeepsTheDialogOpenAndWritesNothing) {
    const std::string before = RegistryFile();
    SettingsDlg dialog(services, settings);
    const int result = RunModal(dialog, [&](QDialog& open) {
        Type(open, "ringsToAnswerEdit", "9");
        messageBoxes.QueueAnswer(MessageBoxAnswer::Ok);
        QTest::keyClick(&open, Qt::Key_Return);
        EXPECT_TRUE(open.isVisible());
        EXPECT_EQ(RegistryFile(), before);

        Type(open, "ringsToAnswerEdit", "6");
        Type(open, "silenceLevelEdit", "loud");
        messageBoxes.QueueAnswer(MessageBoxAnswer::Ok);
        Find<QPushButton>(open, "saveButton")->click();
        EXPECT_TRUE(open.isVisible());
        EXPECT_EQ(RegistryFile(), before);

        Type(open, "silenceLevelEdit", "100");
        Find<QPushButton>(open, "saveButton")->click();
    });

    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{kRangeOneToSix, "Enter an integer between 0 and 100."}));
    EXPECT_EQ(Stored().RingsAnswer, 6u);
    EXPECT_EQ(Stored().SilenceLevel, 100);
}

TEST_F(SettingsDlgTest, TheArrowsStepWithinTheRangeFromWhateverWasTyped) {
    SettingsDlg dialog(services, settings);
    auto* rings = Find<QAbstractSpinBox>(dialog, "ringsToAnswerEdit");
    auto* silence = Find<QAbstractSpinBox>(dialog, "silenceLevelEdit");
    Type(dialog, "ringsToAnswerEdit", "5");
    QTest::keyClick(rings, Qt::Key_Up);
    QTest::keyClick(rings, Qt::Key_Up);
    EXPECT_EQ(rings->text(), "6");
    Type(dialog, "ringsToAnswerEdit", "9");
    QTest::keyClick(rings, Qt::Key_Down);
    EXPECT_EQ(rings->text(), "6");
    QTest::keyClick(silence, Qt::Key_Down);
    EXPECT_EQ(silence->text(), "0");
    Type(dialog, "silenceLevelEdit", "x");
    QTest::keyClick(silence, Qt::Key_Up);
    EXPECT_EQ(silence->text(), "1") << "from the last number it held";
}

TEST_F(SettingsDlgTest, ThePinMustBeDigitsNoCallerHasAndShortOnesAreWarnedAbout) {
    callers.AddNode("4321", "Mom", settings.soundsFolder + "default_ring.wav");
    SettingsDlg dialog(services, settings);
    auto* save = Find<QPushButton>(dialog, "saveButton");

    messageBoxes.QueueAnswer(MessageBoxAnswer::Ok);
    TypePin(dialog, "4321");
    EXPECT_FALSE(save->isEnabled());
    messageBoxes.QueueAnswer(MessageBoxAnswer::Ok);
    TypePin(dialog, "7a");
    EXPECT_FALSE(save->isEnabled());

    TypePin(dialog, "12");
    EXPECT_TRUE(save->isEnabled());
    messageBoxes.QueueAnswer(MessageBoxAnswer::Ok);
    save->click();

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Stored().RemotePIN, "12");
    const std::vector<std::string> texts = BoxTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "That PIN is assigned to a caller.");
    EXPECT_EQ(texts[1], "This field can only contain digits (0-9).");
    EXPECT_EQ(texts[2].rfind("WARNING: To prevent easy access to your messages,\n", 0), 0u);
}

TEST_F(SettingsDlgTest, TickingTheSitTonePlaysItAndCancelWritesNothing) {
    WriteSound("sit_tone.wav", 300);
    const std::string before = RegistryFile();
    SettingsDlg dialog(services, settings);
    auto* sitTone = Find<QCheckBox>(dialog, "sitToneCheck");
    sitTone->click();
    EXPECT_EQ(PlayedSampleCounts(), std::vector<std::size_t>{2400});
    sitTone->click();
    EXPECT_EQ(soundCard.Timeline().size(), 1u) << "unticking is silent";

    Type(dialog, "ringsToAnswerEdit", "2");
    TypePin(dialog, "555");
    Find<QPushButton>(dialog, "cancelButton")->click();

    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(RegistryFile(), before);
    EXPECT_TRUE(audio.Player().IsQueueEmpty());
}

TEST_F(SettingsDlgTest, ARecordingIsKeptInTheSoundsFolderOnlyWhenTheUserSaysYes) {
    const std::string temporary = folder.File("temp.wav");
    const std::string kept = settings.soundsFolder + "my_greeting.wav";
    SettingsDlg dialog(services, settings);
    // The user speaks for a second into a recording of `milliseconds`.
    auto record = [&](std::uint32_t milliseconds, MessageBoxAnswer keep) {
        WhenModalOpens("porthold::ui::RecordingDlg", [&, milliseconds, keep](QWidget& recording) {
            EXPECT_TRUE(platform::FileExists(temporary));
            soundCard.UserSpeaks(clock.TickCount(), std::vector<std::int16_t>(8000, 3000));
            Advance(milliseconds);
            messageBoxes.QueueAnswer(keep);
            QTest::keyClick(&recording, Qt::Key_Return);
        });
        Find<QPushButton>(dialog, "recordButton")->click();
        // The second recording must not hear the rest of the first one's speech.
        Advance(1000);
    };

    record(500, MessageBoxAnswer::No);
    EXPECT_FALSE(platform::FileExists(temporary));
    EXPECT_TRUE(fileDialogs.requests().empty());
    EXPECT_EQ(PlayedSampleCounts(), std::vector<std::size_t>{4000}) << "played back";

    fileDialogs.QueueAnswer(kept);
    record(1500, MessageBoxAnswer::Yes);
    EXPECT_FALSE(platform::FileExists(temporary));
    ASSERT_EQ(fileDialogs.requests().size(), 1u);
    EXPECT_EQ(fileDialogs.requests()[0].purpose, platform::FileDialogPurpose::Save);
    EXPECT_EQ(fileDialogs.requests()[0].startFolder, settings.soundsFolder);
    const std::optional<audio::WaveSamples> saved = audio::ReadWaveSamples(kept);
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->samples.size(), 12000u);
    EXPECT_EQ(std::count(saved->samples.begin(), saved->samples.end(), 3000), 8000);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(2, "Do you want to keep this recording?"));
    EXPECT_EQ(messageBoxes.shown()[0].buttons, platform::MessageBoxButtons::YesNo);
}

TEST_F(SettingsDlgTest, AnAbandonedRecordingStopsTheMicrophoneAndLeavesNoFile) {
    RecordingDlg escaped(services);
    WhenModalOpens("porthold::ui::RecordingDlg", [&](QWidget& recording) {
        Advance(300);
        QTest::keyClick(&recording, Qt::Key_Escape);
    });
    EXPECT_EQ(escaped.Run(), QDialog::Rejected);
    EXPECT_FALSE(audio.Recorder().IsRecording());
    EXPECT_FALSE(audio.Recorder().HasBuffers());
    EXPECT_EQ(soundCard.OpenInputCount(), 0u);
    EXPECT_FALSE(platform::FileExists(folder.File("temp.wav")));

    // A microphone held by another program ends the dialog before it shows.
    soundCard.SetCondition(platform::SoundCardCondition::HeldByAnotherProgram);
    RecordingDlg refused(services);
    EXPECT_EQ(refused.Run(), QDialog::Rejected);
    EXPECT_FALSE(audio.Recorder().IsRecording());
    EXPECT_FALSE(platform::FileExists(folder.File("temp.wav")));
    EXPECT_TRUE(messageBoxes.shown().empty());
    EXPECT_TRUE(soundCard.Timeline().empty());
}

}  // namespace
}  // namespace porthold::ui
