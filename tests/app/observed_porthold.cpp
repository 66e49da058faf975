// The real program with an onlooker in its event loop, for the end-to-end
// tests: it prints every new status text, every caption of the Messages
// button, every incoming-call notification and every message box, one line
// each, and answers each box with its default button, as a user at the screen
// would. With PORTHOLD_GUI_SCRIPT naming a file, it also works the windows
// by the commands written to that file (see GuiScript). Nothing of the
// program is replaced.

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <iostream>
#include <memory>

#include "app/desktop_program.h"
#include "app/qt_message_filter.h"
#include "app/termination_signals.h"
#include "gui_script.h"

namespace {

class Onlooker final : public QObject {
public:
    Onlooker() {
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start(10);
        const QString script = qEnvironmentVariable("PORTHOLD_GUI_SCRIPT");
        if (!script.isEmpty()) {
            script_ = std::make_unique<porthold::app::testing::GuiScript>(script, &Print);
        }
    }

private:
    static void Print(const char* what, QString text) {
        text.replace('\n', QStringLiteral("\\n"));
        std::cout << what << ":" << text.toStdString() << std::endl;
    }

    void Look() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() != QStringLiteral("MainDialog")) {
                continue;
            }
            if (auto* label = window->findChild<QLabel*>(QStringLiteral("statusLabel"));
                label != nullptr && label->text() != status_) {
                status_ = label->text();
                Print("status", status_);
            }
            if (auto* button = window->findChild<QPushButton*>(QStringLiteral("messagesButton"));
                button != nullptr && button->text() != messagesCaption_) {
                messagesCaption_ = button->text();
                Print("messages-button", messagesCaption_);
            }
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != notification_ && modal != nullptr &&
            modal->inherits("porthold::ui::IncomingCallDlg")) {
            notification_ = modal;
            Print("notification", modal->findChild<QLabel*>("notificationText")->text());
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Print("box", box->text());
            box->defaultButton()->click();
        }
    }

    QTimer timer_;
    std::unique_ptr<porthold::app::testing::GuiScript> script_;
    QPointer<QWidget> notification_;
    QString status_;
    QString messagesCaption_;
};

}  // namespace

int main(int argc, char** argv) {
    // As the program does: before any thread starts.
    porthold::app::BlockTerminationSignals();
    porthold::app::SilenceQtMessages();
    QApplication application(argc, argv);
    Onlooker onlooker;
    return porthold::app::RunDesktopProgram();
}
