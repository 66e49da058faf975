// The incoming-call notification, the pick-up prompt and the talk window as
// windows, driven in virtual time from inside their own modal loops.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "audio/audio.h"
#include "audio/wave_layout.h"
#include "modal_closer.h"
#include "platform/multimedia/simulated_sound_card.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/virtual_clock.h"
#include "support/recording_error_log.h"
#include "support/temporary_folder.h"
#include "telephony/call_state.h"
#include "ui/dialog_units.h"
#include "ui/incoming_call_dlg.h"
#include "ui/pick_up_dlg.h"
#include "ui/qt_engine_dialogs.h"

namespace porthold::ui {
namespace {

using telephony::kAnswerCallResult;
using telephony::kNotificationCancelled;
using telephony::kTakeMessageResult;
using testing::WhenModalOpens;

constexpr std::uint32_t kLineOutput = 7;

class EngineDialogsTest : public ::testing::Test {
protected:
    EngineDialogsTest() {
        // The card also plays the line's device, so that one timeline shows both.
        devices.RegisterSoundCard(soundCard);
        devices.RegisterProvider(soundCard);
        request.notificationText = "Mom is calling";
        request.callerSound = Sound("mom.wav", 1000);
        request.ringSound = Sound("default_ring.wav", 6000);
        request.ringDevice = kLineOutput;
        request.repeatLimit = 4;
        request.callerKeyed = &state.callerKeyed;
    }

    std::string Sound(const std::string& name, std::uint32_t milliseconds) {
        const std::vector<std::int16_t> samples(milliseconds * 8, 1000);
        EXPECT_TRUE(audio::WriteTelephonyWaveFile(folder.File(name), samples));
        return folder.File(name);
    }

    // Sound starts on each device, in milliseconds since `origin`.
    std::vector<std::uint32_t> Starts(std::uint32_t device, std::uint32_t origin) const {
        std::vector<std::uint32_t> starts;
        for (const platform::PlayedSound& sound : soundCard.Timeline()) {
            if (sound.deviceId == device) {
                starts.push_back(sound.startTick - origin);
            }
        }
        return starts;
    }

    // Runs the notification; `whileOpen` runs inside its modal loop.
    int RunNotification(std::function<void(IncomingCallDlg&)> whileOpen) {
        WhenModalOpens("porthold::ui::IncomingCallDlg", [whileOpen](QWidget& modal) {
            whileOpen(static_cast<IncomingCallDlg&>(modal));
        });
        opened = clock.TickCount();
        QtEngineDialogs dialogs(audio.Player(), clock);
        return dialogs.RunIncomingCall(request);
    }

    porthold::testing::TemporaryFolder folder;
    platform::VirtualClock clock;
    platform::SimulatedSoundCard soundCard{clock, {kLineOutput}};
    platform::WaveDevices devices;
    porthold::testing::RecordingErrorLog log;
    config::Settings settings;
    telephony::CallState state;
    audio::Audio audio{devices, clock, log, settings, state};
    telephony::IncomingCallRequest request;
    std::uint32_t opened = 0;
};

TEST_F(EngineDialogsTest, TheNotificationIsAFramelessCentredWindowAboveTheOthers) {
    const int result = RunNotification([&](IncomingCallDlg& dialog) {
        EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
        const QRect screen = dialog.screen()->availableGeometry();
        EXPECT_LE((dialog.frameGeometry().center() - screen.center()).manhattanLength(), 2);

        const LayoutUnits units = FontLayoutUnits(dialog.font());
        auto* text = dialog.findChild<QLabel*>("notificationText");
        auto* answer = dialog.findChild<QPushButton*>("answerButton");
        auto* takeMessage = dialog.findChild<QPushButton*>("takeMessageButton");
        EXPECT_EQ(text->text(), "Mom is calling");
        EXPECT_EQ(text->size(), DialogRect(units, 7, 5, 173, 27).size());
        EXPECT_EQ(answer->text(), "Answer this Call");
        EXPECT_TRUE(answer->isDefault());
        EXPECT_EQ(answer->size(), DialogRect(units, 36, 40, 115, 21).size());
        EXPECT_EQ(takeMessage->text(), "Take a Message");
        EXPECT_EQ(takeMessage->size(), DialogRect(units, 51, 69, 85, 14).size());
        EXPECT_EQ(answer->y() - text->y(), DialogHeight(units, 40) - DialogHeight(units, 5));
        takeMessage->click();
    });
    EXPECT_EQ(result, kTakeMessageResult);
}

TEST_F(EngineDialogsTest, EnterAnswersAndEscapeCancels) {
    EXPECT_EQ(
        RunNotification([](IncomingCallDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); }),
        kAnswerCallResult);
    EXPECT_EQ(
        RunNotification([](IncomingCallDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }),
        kNotificationCancelled);
}

TEST_F(EngineDialogsTest, UnansweredItRingsEveryFourSecondsAndGivesUpAtTheLimit) {
    const int result = RunNotification([&](IncomingCallDlg&) { clock.Advance(20000); });

    EXPECT_EQ(result, kTakeMessageResult);
    EXPECT_EQ(clock.TickCount() - opened, 20000u);
    const std::vector<std::uint32_t> expected = {0, 4000, 8000, 12000, 16000};
    EXPECT_EQ(Starts(platform::WAVE_MAPPER, opened), expected);
    EXPECT_EQ(Starts(kLineOutput, opened), expected);
    EXPECT_TRUE(audio.Player().IsQueueEmpty()) << "the sounds of the last ring were cut off";
}

TEST_F(EngineDialogsTest, TheCallersKeyAnswersAtTheNextRingBeforeAnyFurtherSound) {
    const int result = RunNotification([&](IncomingCallDlg& dialog) {
        clock.Advance(1500);
        state.callerKeyed = true;
        clock.Advance(2490);
        EXPECT_TRUE(dialog.isVisible()) << "the key is seen on the ring";
        clock.Advance(20);
    });

    EXPECT_EQ(result, kAnswerCallResult);
    EXPECT_FALSE(state.callerKeyed);
    EXPECT_EQ(Starts(kLineOutput, opened), std::vector<std::uint32_t>{0});
}

TEST_F(EngineDialogsTest, ThePickUpPromptClosesByItselfAfterFiveSeconds) {
    bool openAtFourSeconds = false;
    WhenModalOpens("porthold::ui::PickUpDlg", [&](QWidget& dialog) {
        EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(dialog.findChild<QLabel*>("promptText")->text(),
                  "Pick up the receiver and begin talking...");
        EXPECT_FALSE(dialog.findChild<QLabel*>("picture")->pixmap().isNull());
        clock.Advance(4990);
        openAtFourSeconds = dialog.isVisible();
        clock.Advance(20);
    });
    const std::uint32_t start = clock.TickCount();
    QtEngineDialogs dialogs(audio.Player(), clock);
    dialogs.RunPickUp();
    EXPECT_TRUE(openAtFourSeconds);
    EXPECT_EQ(clock.TickCount() - start, 5010u);
}

// Escape must not hang up on the caller; the Hang Up button and the caller's
// hang-up (CloseCallDialog) close the window.
TEST_F(EngineDialogsTest, TheTalkWindowClosesOnHangUpOrWithTheCallButNotOnEscape) {
    QtEngineDialogs dialogs(audio.Player(), clock);
    bool escapeKeptItOpen = false;
    WhenModalOpens("porthold::ui::TalkDlg", [&](QWidget& dialog) {
        EXPECT_EQ(dialog.findChild<QLabel*>("callerText")->text(), "Mom is calling");
        QTest::keyClick(&dialog, Qt::Key_Escape);
        escapeKeptItOpen = dialog.isVisible();
        dialog.findChild<QPushButton*>("hangUpButton")->click();
    });
    dialogs.RunTalk("Mom is calling");
    EXPECT_TRUE(escapeKeptItOpen);

    WhenModalOpens("porthold::ui::TalkDlg", [&](QWidget&) { dialogs.CloseCallDialog(); });
    dialogs.RunTalk("Mom is calling");
}

}  // namespace
}  // namespace porthold::ui
