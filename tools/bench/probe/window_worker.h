#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace porthold::bench {

// Works the main window as a restless user would: every 1.5 s it opens one of
// the Messages, PIN List and Settings dialogs, the About dialog or one of the
// window's menus, whichever it offers at the moment, and closes it again a
// moment later. What the window refuses (its buttons are disabled during a
// call) is passed over, and one of its menus is opened instead.
//
// Dialogs and menus run nested event loops, and Qt does not deliver a
// timer's event again while its handler runs: the opening is therefore
// posted, so that it does not run inside this object's timer, and the closing
// is a single-shot timer armed before the opening, which fires inside the
// nested loop.
class WindowWorker final : public QObject {
public:
    WindowWorker();

    void Start();
    void Stop();
    // Prints "worked" with the dialogs and menus opened and closed.
    void Report() const;

private:
    enum class Action { MessagesButton, PinListButton, SettingsButton, About, Menu };

    void Step();
    // False when the window does not offer the action now.
    bool Perform(Action action, QWidget& window);
    void OpenMenu(QWidget& window);
    void CloseWhatOpened(int attemptsLeft);

    QTimer timer_;
    std::size_t nextAction_ = 0;
    int nextMenu_ = 0;
    bool opening_ = false;
    int dialogsOpened_ = 0;
    int menusOpened_ = 0;
};

}  // namespace porthold::bench
