#include "ui/qt_line_event_watch.h"

#include <utility>

namespace porthold::ui {

void QtLineEventWatch::Watch(int descriptor, std::function<void()> ready) {
    ready_ = std::move(ready);
    if (notifier_ && notifier_->socket() == descriptor) {
        notifier_->setEnabled(true);
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        // The handler may stop the watch; the function is kept until it returns.
        const std::function<void()> handler = ready_;
        if (handler) {
            handler();
        }
    });
}

// Disabled rather than deleted: the same descriptor is watched again at the
// next rest, and a notifier may not be deleted from its own signal.
void QtLineEventWatch::Stop() {
    if (notifier_) {
        notifier_->setEnabled(false);
    }
}

}  // namespace porthold::ui
