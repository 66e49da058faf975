#pragma once

#include <QDialog>

#include "platform/clock.h"
#include "telephony/pick_up_prompt.h"

namespace porthold::ui {

// "Pick up the receiver and begin talking...", shown for five seconds once the
// user chose to answer a call. No title bar and no buttons; centred and kept
// above other windows. Escape closes it early, as it closes any dialog. Main
// thread only.
class PickUpDlg final : public QDialog, private platform::TimerHandler {
    Q_OBJECT

public:
    // The clock must outlive the dialog.
    explicit PickUpDlg(platform::Clock& clock, QWidget* parent = nullptr);
    ~PickUpDlg() override;

    // Shows the prompt until it closes by itself.
    void Run();

private:
    static constexpr platform::TimerId kWatchTimer = 0;
    static constexpr std::uint32_t kWatchMilliseconds = 10;

    void OnTimer(platform::TimerId id) override;

    telephony::PickUpPrompt prompt_;
    platform::Clock& clock_;
};

}  // namespace porthold::ui
