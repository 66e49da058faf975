#pragma once

#include <QDialog>
#include <QFont>
#include <QPointer>
#include <array>
#include <map>
#include <string>
#include <string_view>

#include "ui/layout_units.h"
#include "ui/main_window.h"
#include "ui/management_dialogs.h"
#include "ui/widgets/picture_button.h"

class QAction;
class QLabel;
class QMenuBar;

namespace porthold::ui {

// The program's main window: three picture buttons across the top, the status
// line below them and a menu bar. It shows what the engine is doing, marks
// new messages on its Messages button, opens the management dialogs and hands
// its timer messages to the engine; its initialisation and its destruction
// are the program's start-up and shutdown.
//
// Menu commands are gated by four flags that are consulted when a command
// arrives; the items themselves are never greyed. Main thread only.
class MainDialog final : public QDialog, public MainWindow {
    Q_OBJECT

public:
    static constexpr std::string_view kCaption = "Porthold v2.0";
    static constexpr std::string_view kInitialStatus = "Program Status";
    static constexpr std::string_view kDisabledStatus = " Disabled...";

    explicit MainDialog(ManagementDialogs& dialogs, QWidget* parent = nullptr);
    ~MainDialog() override;

    // The program behind the window; set before Run.
    void SetProgram(MainWindowProgram& program) { program_ = &program; }

    // Initialises the window (the start-up), runs it modally until it is closed
    // by File, Exit, the close box or Escape, then destroys it (the shutdown).
    int Run();
    // Runs the shutdown, once; Run does so itself.
    void DestroyWindow();
    // What the start-up returned: false leaves the window inert.
    bool IsInitialised() const { return initialised_; }

    // --- MainWindow ---
    void SelectButtonFont() override;
    LayoutUnits MeasureLayoutUnits() override;
    void CreateMainButtons(LayoutUnits units) override;
    void DeleteMainButtons() override;
    void SetMainButtons(Availability availability) override;
    void SetMenuCommands(Availability availability) override;
    void ShowApplicationIcon() override;

    // --- StatusLine: shown at once, also when the thread blocks right after ---
    void SetStatus(std::string_view text) override;

    // --- MainControls ---
    void LockMainControls() override;
    void UnlockMainControls() override;
    void SetMessagesLook(int bitmap, std::string_view caption) override;

    // --- The window's timers, armed by the engine ---
    void OnTimer(platform::TimerId id) override;

    // A command from a main button or a menu item, as the window receives it:
    // a menu command whose flag is cleared, or a click on a disabled button,
    // is ignored without a word.
    void OnCommand(int command);
    bool IsMenuCommandEnabled(int command) const;

    QString StatusText() const;
    // Null before the buttons are created and after they are deleted.
    widgets::PictureButton* MainButton(int command) const;
    QAction* MenuAction(int command) const;

private:
    enum class ManagementDialog { Messages, PinList, Settings };

    void BuildMenu();
    widgets::PictureButton* CreateMainButton(int command, const QString& caption, QRect rectangle,
                                             int bitmap, const QString& toolTip);
    void OpenManagementDialog(ManagementDialog dialog);

    ManagementDialogs& dialogs_;
    MainWindowProgram* program_ = nullptr;
    QWidget* client_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    // What the status line shows, kept to compare the engine's text with on
    // every tick without making a QString of it.
    std::string statusText_{kInitialStatus};
    QMenuBar* menuBar_ = nullptr;
    std::map<int, QAction*> menuActions_;
    // Messages, PIN List, Settings.
    std::array<QPointer<widgets::PictureButton>, 3> buttons_;
    // menuEnabled: View, PIN List / Messages / Settings and Documentation.
    std::map<int, bool> menuEnabled_;
    QFont buttonFont_;
    bool initialised_ = false;
    bool destroyed_ = false;
};

}  // namespace porthold::ui
