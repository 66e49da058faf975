#include "window_worker.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <array>

#include "event_log.h"

namespace porthold::bench {
namespace {

constexpr int kStepMilliseconds = 1500;
// Long enough for the dialog to be seen and its loop to run a while.
constexpr int kOpenMilliseconds = 300;
constexpr int kRetryMilliseconds = 100;
constexpr int kCloseAttempts = 20;

constexpr std::array kDialogNames = {"MessagesDlg", "PinListDlg", "SettingsDlg", "AboutDlg"};

QWidget* MainWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QStringLiteral("MainDialog") && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

bool IsOneOfTheWindowsDialogs(const QWidget& widget) {
    for (const char* name : kDialogNames) {
        if (widget.objectName() == QLatin1String(name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

WindowWorker::WindowWorker() {
    timer_.setInterval(kStepMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
}

void WindowWorker::Start() {
    if (!timer_.isActive()) {
        timer_.start();
    }
}

void WindowWorker::Stop() {
    timer_.stop();
}

void WindowWorker::Report() const {
    PrintEvent("worked",
               QStringLiteral("dialogs=%1 menus=%2").arg(dialogsOpened_).arg(menusOpened_));
}

void WindowWorker::Step() {
    QWidget* window = MainWindow();
    // Not while something opened is still open, nor over a dialog of the
    // engine's own (the incoming-call notification).
    if (opening_ || window == nullptr || QApplication::activeModalWidget() != window) {
        return;
    }
    static constexpr std::array kActions = {
        Action::MessagesButton, Action::Menu, Action::PinListButton, Action::Menu,
        Action::SettingsButton, Action::Menu, Action::About,         Action::Menu};
    const Action action = kActions[nextAction_++ % kActions.size()];
    opening_ = true;
    QTimer::singleShot(kOpenMilliseconds, this, [this] { CloseWhatOpened(kCloseAttempts); });
    if (!Perform(action, *window)) {
        OpenMenu(*window);
    }
}

bool WindowWorker::Perform(Action action, QWidget& window) {
    const auto clickButton = [&window](const char* name) {
        auto* button = window.findChild<QAbstractButton*>(QLatin1String(name));
        if (button == nullptr || !button->isEnabled()) {
            return false;
        }
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    };
    switch (action) {
        case Action::MessagesButton:
            return clickButton("messagesButton");
        case Action::PinListButton:
            return clickButton("pinListButton");
        case Action::SettingsButton:
            return clickButton("settingsButton");
        case Action::About: {
            // The window locks its menu commands together with its buttons
            // (during a call) and then ignores them.
            const auto* messages =
                window.findChild<QAbstractButton*>(QStringLiteral("messagesButton"));
            if (messages == nullptr || !messages->isEnabled()) {
                return false;
            }
            for (QAction* item : window.findChildren<QAction*>()) {
                if (item->text().contains(QStringLiteral("Help"))) {
                    QMetaObject::invokeMethod(item, &QAction::trigger, Qt::QueuedConnection);
                    return true;
                }
            }
            return false;
        }
        case Action::Menu:
            return false;
    }
    return false;
}

void WindowWorker::OpenMenu(QWidget& window) {
    auto* bar = window.findChild<QMenuBar*>();
    const QList<QMenu*> menus =
        bar == nullptr ? QList<QMenu*>{} : bar->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
    if (menus.isEmpty()) {
        return;
    }
    QMenu* menu = menus[nextMenu_++ % menus.size()];
    const QPoint where = window.mapToGlobal(QPoint(0, 0));
    QMetaObject::invokeMethod(
        menu, [menu, where] { menu->exec(where); }, Qt::QueuedConnection);
}

void WindowWorker::CloseWhatOpened(int attemptsLeft) {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        ++menusOpened_;
        opening_ = false;
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && IsOneOfTheWindowsDialogs(*modal)) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
        ++dialogsOpened_;
        opening_ = false;
        return;
    }
    // A dialog may still be in the making, or waiting behind a message box.
    if (attemptsLeft > 0) {
        QTimer::singleShot(kRetryMilliseconds, this,
                           [this, attemptsLeft] { CloseWhatOpened(attemptsLeft - 1); });
        return;
    }
    opening_ = false;
}

}  // namespace porthold::bench
