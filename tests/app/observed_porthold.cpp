// The real program with an onlooker in its event loop, for the end-to-end
// tests: it prints every new status text, every caption of the Messages
// button and every message box, one line each, and answers each box with its
// default button, as a user at the screen would. Nothing of the program is
// replaced.

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <iostream>

#include "app/desktop_program.h"
#include "app/qt_message_filter.h"

namespace {

class Onlooker final : public QObject {
public:
    Onlooker() {
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start(10);
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
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            Print("box", box->text());
            box->defaultButton()->click();
        }
    }

    QTimer timer_;
    QString status_;
    QString messagesCaption_;
};

}  // namespace

int main(int argc, char** argv) {
    porthold::app::SilenceQtMessages();
    QApplication application(argc, argv);
    Onlooker onlooker;
    return porthold::app::RunDesktopProgram();
}
