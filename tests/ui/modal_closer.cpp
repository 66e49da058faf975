#include "modal_closer.h"

#include <QApplication>
#include <QTimer>

namespace porthold::testing {

void WhenModalOpens(const char* className, std::function<void(QWidget& modal)> action) {
    QTimer::singleShot(5, qApp, [className, action = std::move(action)]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->inherits(className)) {
            action(*modal);
            return;
        }
        WhenModalOpens(className, std::move(action));
    });
}

}  // namespace porthold::testing
