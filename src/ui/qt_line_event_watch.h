#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "telephony/line_event_watch.h"

namespace porthold::ui {

// Watches the telephony service's event descriptor from the Qt event loop,
// the nested loops of modal dialogs included.
class QtLineEventWatch final : public telephony::LineEventWatch {
public:
    void Watch(int descriptor, std::function<void()> ready) override;
    void Stop() override;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> ready_;
};

}  // namespace porthold::ui
