#include "telephony/pick_up_prompt.h"

namespace porthold::telephony {

PickUpPrompt::PickUpPrompt(platform::Clock& clock) : clock_(clock) {}

PickUpPrompt::~PickUpPrompt() {
    clock_.KillTimer(*this, kCloseTimer);
}

void PickUpPrompt::Start() {
    clock_.SetTimer(*this, kCloseTimer, kShowMilliseconds);
}

void PickUpPrompt::OnTimer(platform::TimerId id) {
    if (id != kCloseTimer) {
        return;
    }
    clock_.KillTimer(*this, kCloseTimer);
    finished_ = true;
}

}  // namespace porthold::telephony
