#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/dialog_resources.h"
#include "ui/dialog_units.h"

namespace porthold::ui {
namespace {

class FakeProgram final : public MainWindowProgram {
public:
    bool OnInitDialog() override {
        ++initialisations;
        visibleDuringInitialisation = window != nullptr && window->isVisible();
        return true;
    }
    void OnDestroyWindow() override { ++destructions; }
    void OnWindowTimer(platform::TimerId) override {}
    telephony::CallState& CallState() override { return state; }
    const config::Settings& Settings() const override { return settings; }
    void ReloadSettings() override { ++reloads; }

    QWidget* window = nullptr;
    int initialisations = 0;
    bool visibleDuringInitialisation = true;
    int destructions = 0;
    int reloads = 0;
    telephony::CallState state;
    config::Settings settings;
};

// The management dialogs as a record of which ran, and what the main window
// looked like while one was open.
class RecordingDialogs final : public ManagementDialogs {
public:
    struct Seen {
        std::string dialog;
        bool answeringEnabled = true;
        bool buttonsEnabled = true;
        QString status;
    };

    int RunMessages(QWidget*, int) override {
        Note("messages");
        return messagesResult;
    }
    void RunPinList(QWidget*, const std::string& remotePin) override { Note("pins " + remotePin); }
    DialogOutcome RunSettings(QWidget*, const config::Settings&) override {
        Note("settings");
        return settingsOutcome;
    }
    void RunAbout(QWidget*) override { Note("about"); }

    MainDialog* window = nullptr;
    FakeProgram* program = nullptr;
    int messagesResult = 0;
    DialogOutcome settingsOutcome = DialogOutcome::Cancel;
    std::vector<Seen> seen;

private:
    void Note(const std::string& dialog) {
        seen.push_back(Seen{dialog, program->state.answeringEnabled,
                            window->MainButton(kMessagesButton)->isEnabled(),
                            window->StatusText()});
    }
};

class MainDialogTest : public ::testing::Test {
protected:
    MainDialogTest() {
        dialogs.window = &window;
        dialogs.program = &program;
        program.window = &window;
        window.SetProgram(program);
        window.CreateMainButtons(window.MeasureLayoutUnits());
    }

    void Command(int command) { window.MenuAction(command)->trigger(); }

    FakeProgram program;
    RecordingDialogs dialogs;
    MainDialog window{dialogs};
};

TEST_F(MainDialogTest, IsLaidOutInDialogUnitsOfItsEightPointFont) {
    const LayoutUnits units = window.MeasureLayoutUnits();
    EXPECT_EQ(window.font().pointSize(), 8);
    EXPECT_EQ(units, FontLayoutUnits(DialogFont()));
    EXPECT_GT(units.x, 3);
    EXPECT_GT(units.y, 8);
    EXPECT_EQ(window.windowTitle(), "Porthold v2.0");
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);

    const QWidget* client = window.findChild<QWidget*>("client");
    EXPECT_EQ(client->size(), QSize(33 * units.x, DialogHeight(units, 55)));
    const auto* status = window.findChild<QLabel*>("statusLabel");
    EXPECT_EQ(status->text(), "Program Status");
    EXPECT_EQ(status->geometry(), DialogRect(units, 7, 41, 118, 12));
    EXPECT_EQ(status->property("controlId").toInt(), kStatusLabel);

    struct Expected {
        int command;
        const char* caption;
        int left;
        const char* toolTip;
    };
    for (const Expected& expected : {
             Expected{kMessagesButton, "Messages", 0, "Play and Delete voice messages"},
             Expected{kPinListButton, "PIN List", 11, "Add and Delete caller PINs"},
             Expected{kSettingsButton, "Settings", 22, "Change software specific settings"},
         }) {
        const widgets::PictureButton* button = window.MainButton(expected.command);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), expected.caption);
        EXPECT_EQ(button->geometry(), QRect(expected.left * units.x, 0, 11 * units.x, 5 * units.y));
        EXPECT_EQ(button->toolTip(), expected.toolTip);
        EXPECT_FALSE(button->IsFlat());
        EXPECT_EQ(button->PictureAlignment(), widgets::kPictureAbove);
    }

    QStringList menus;
    for (QAction* menu : window.findChild<QMenuBar*>("mainMenu")->actions()) {
        QStringList items;
        for (QAction* item : menu->menu()->actions()) {
            items << item->text();
        }
        menus << menu->text() + ": " + items.join(", ");
    }
    EXPECT_EQ(menus, QStringList({"&File: E&xit", "&View: &Messages, &PIN List, Settings",
                                  "&Documentation: Documentation && Help"}));
}

TEST_F(MainDialogTest, RefusedMenuCommandsDoNothingAndTheirItemsAreNeverGreyed) {
    window.SetMenuCommands(Availability::Disabled);
    for (int command :
         {kViewMessagesCommand, kViewPinListCommand, kViewSettingsCommand, kHelpCommand}) {
        EXPECT_TRUE(window.MenuAction(command)->isEnabled());
        Command(command);
        EXPECT_FALSE(window.IsMenuCommandEnabled(command));
    }
    EXPECT_TRUE(dialogs.seen.empty());
    EXPECT_TRUE(window.IsMenuCommandEnabled(kExitCommand));

    window.SetMenuCommands(Availability::Enabled);
    program.settings.RemotePIN = "958";
    Command(kViewMessagesCommand);
    Command(kViewPinListCommand);
    Command(kViewSettingsCommand);
    Command(kHelpCommand);
    ASSERT_EQ(dialogs.seen.size(), 4u);
    EXPECT_EQ(dialogs.seen[0].dialog, "messages");
    EXPECT_EQ(dialogs.seen[1].dialog, "pins 958");
    EXPECT_EQ(dialogs.seen[2].dialog, "settings");
    EXPECT_EQ(dialogs.seen[3].dialog, "about");
}

TEST_F(MainDialogTest, LockAndUnlockAreIdempotentAndDisabledButtonsOpenNothing) {
    window.LockMainControls();
    window.LockMainControls();
    for (int command : {kMessagesButton, kPinListButton, kSettingsButton}) {
        EXPECT_FALSE(window.MainButton(command)->isEnabled());
        window.OnCommand(command);
    }
    Command(kViewSettingsCommand);
    EXPECT_TRUE(dialogs.seen.empty());

    window.UnlockMainControls();
    window.UnlockMainControls();
    window.MainButton(kPinListButton)->click();
    EXPECT_TRUE(window.MainButton(kSettingsButton)->isEnabled());
    EXPECT_TRUE(window.IsMenuCommandEnabled(kHelpCommand));
    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_EQ(dialogs.seen[0].dialog.substr(0, 4), "pins");
}

TEST_F(MainDialogTest, AManagementDialogSuspendsAnsweringAndTakesItsResultsAfterwards) {
    program.state.newMessageCount = 3;
    dialogs.messagesResult = 0;
    window.SetStatus(" Waiting for call...");

    window.OnCommand(kMessagesButton);

    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_FALSE(dialogs.seen[0].answeringEnabled);
    EXPECT_FALSE(dialogs.seen[0].buttonsEnabled);
    EXPECT_EQ(dialogs.seen[0].status, " Disabled...");
    EXPECT_EQ(program.state.newMessageCount, 0);
    EXPECT_TRUE(program.state.answeringEnabled);
    EXPECT_TRUE(window.MainButton(kMessagesButton)->isEnabled());
    EXPECT_EQ(window.StatusText(), " Disabled...") << "until the engine's next tick";

    // Settings reload only when the dialog saved them.
    window.OnCommand(kSettingsButton);
    EXPECT_EQ(program.reloads, 0);
    dialogs.settingsOutcome = DialogOutcome::Ok;
    window.OnCommand(kSettingsButton);
    EXPECT_EQ(program.reloads, 1);
}

TEST_F(MainDialogTest, WithoutTelephonyOnlyTheSettingsDialogWritesTheStatus) {
    program.state.telephonyUnavailable = true;
    window.SetStatus(" Something else...");
    window.OnCommand(kMessagesButton);
    window.OnCommand(kPinListButton);
    EXPECT_EQ(dialogs.seen[0].status, " Something else...");
    EXPECT_EQ(dialogs.seen[1].status, " Something else...");
    window.OnCommand(kSettingsButton);
    EXPECT_EQ(dialogs.seen[2].status, " Disabled...");
}

TEST_F(MainDialogTest, TheStatusIsPaintedBeforeSetStatusReturns) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* label = window.findChild<QLabel*>("statusLabel");
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter;
    label->installEventFilter(&counter);

    window.SetStatus(" Disconnecting...");

    EXPECT_GE(counter.paints, 1) << "no event loop ran in between";
    EXPECT_EQ(label->text(), " Disconnecting...");
    label->removeEventFilter(&counter);
}

// Whatever closes the window, the program's shutdown runs once, after the
// start-up that ran before the window was first shown.
TEST(MainDialogClosingTest, ExitEscapeAndTheCloseBoxEachEndTheRunWithOneShutdown) {
    const std::vector<std::function<void(MainDialog&)>> closers = {
        [](MainDialog& window) { window.MenuAction(kExitCommand)->trigger(); },
        [](MainDialog& window) { QTest::keyClick(&window, Qt::Key_Escape); },
        [](MainDialog& window) { window.close(); },
    };
    for (std::size_t index = 0; index < closers.size(); ++index) {
        FakeProgram program;
        RecordingDialogs dialogs;
        MainDialog window(dialogs);
        program.window = &window;
        window.SetProgram(program);
        QTimer::singleShot(20, &window, [&] {
            EXPECT_TRUE(window.isVisible());
            closers[index](window);
        });
        window.Run();
        EXPECT_EQ(program.initialisations, 1) << index;
        EXPECT_FALSE(program.visibleDuringInitialisation) << index;
        EXPECT_EQ(program.destructions, 1) << index;
        EXPECT_FALSE(window.isVisible()) << index;
        window.DestroyWindow();
        EXPECT_EQ(program.destructions, 1) << index;
    }
}

TEST(MainDialogClosingTest, EnterDoesNotCloseTheWindow) {
    FakeProgram program;
    RecordingDialogs dialogs;
    MainDialog window(dialogs);
    program.window = &window;
    window.SetProgram(program);
    bool stillOpen = false;
    QTimer::singleShot(20, &window, [&] {
        window.CreateMainButtons(window.MeasureLayoutUnits());
        QTest::keyClick(&window, Qt::Key_Return);
        QTest::keyClick(&window, Qt::Key_Enter);
        QTimer::singleShot(20, &window, [&] {
            stillOpen = window.isVisible();
            window.close();
        });
    });
    window.Run();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(dialogs.seen.empty());
}

}  // namespace
}  // namespace porthold::ui
