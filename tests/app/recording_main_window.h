#pragma once

#include <string>

#include "program_harness.h"
#include "ui/main_window.h"

namespace porthold::app::testing {

// The main window as a record of what start-up, the engine and shutdown did
// to it, in the shared event log. Its timer messages go to the program.
class RecordingMainWindow final : public ui::MainWindow {
public:
    static constexpr ui::LayoutUnits kUnits{6, 13};

    explicit RecordingMainWindow(EventLog& events) : events_(events) {}

    void SetProgram(ui::MainWindowProgram& program) { program_ = &program; }

    void SelectButtonFont() override { events_.push_back("button font"); }
    ui::LayoutUnits MeasureLayoutUnits() override {
        events_.push_back("layout units");
        return kUnits;
    }
    void CreateMainButtons(ui::LayoutUnits) override { events_.push_back("create buttons"); }
    void DeleteMainButtons() override { events_.push_back("delete buttons"); }
    void SetMainButtons(ui::Availability availability) override {
        buttonsEnabled = availability == ui::Availability::Enabled;
        events_.push_back(buttonsEnabled ? "buttons enabled" : "buttons disabled");
    }
    void SetMenuCommands(ui::Availability availability) override {
        menuEnabled = availability == ui::Availability::Enabled;
        events_.push_back(menuEnabled ? "menu enabled" : "menu disabled");
    }
    void ShowApplicationIcon() override { events_.push_back("icon"); }
    void SetStatus(std::string_view text) override {
        status = text;
        events_.push_back("status" + std::string(text));
    }
    void LockMainControls() override {
        buttonsEnabled = menuEnabled = false;
        events_.push_back("lock");
    }
    void UnlockMainControls() override {
        buttonsEnabled = menuEnabled = true;
        events_.push_back("unlock");
    }
    void SetMessagesLook(int bitmap, std::string_view caption) override {
        events_.push_back("look " + std::to_string(bitmap) + " " + std::string(caption));
    }
    void OnTimer(platform::TimerId id) override {
        if (program_ != nullptr) {
            program_->OnWindowTimer(id);
        }
    }

    std::string status = "Program Status";
    bool buttonsEnabled = true;
    bool menuEnabled = true;

private:
    EventLog& events_;
    ui::MainWindowProgram* program_ = nullptr;
};

}  // namespace porthold::app::testing
