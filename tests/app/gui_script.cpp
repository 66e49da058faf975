#include "gui_script.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>

namespace porthold::app::testing {

GuiScript::GuiScript(QString commandFile, Print print)
    : commandFile_(std::move(commandFile)), print_(std::move(print)) {
    connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
    timer_.start(50);
}

void GuiScript::Step() {
    ReadNewCommands();
    if (pending_.isEmpty()) {
        return;
    }
    const QString command = pending_.constFirst();
    if (Perform(command.split(QLatin1Char(' ')))) {
        pending_.removeFirst();
        print_("done", command);
    }
}

void GuiScript::ReadNewCommands() {
    QFile file(commandFile_);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= bytesRead_) {
        return;
    }
    file.seek(bytesRead_);
    const QByteArray added = file.readAll();
    // Only whole lines: the test may be writing the rest.
    const qsizetype end = added.lastIndexOf('\n');
    if (end < 0) {
        return;
    }
    bytesRead_ += end + 1;
    for (const QByteArray& line : added.left(end).split('\n')) {
        if (!line.trimmed().isEmpty()) {
            pending_.append(QString::fromUtf8(line.trimmed()));
        }
    }
}

bool GuiScript::Perform(const QStringList& words) {
    QWidget* target = words.size() >= 2 ? Find(words[1]) : nullptr;
    if (target == nullptr || !target->isEnabled() || !target->isVisible()) {
        return false;
    }
    if (words[0] == QStringLiteral("click")) {
        auto* button = qobject_cast<QAbstractButton*>(target);
        if (button == nullptr) {
            return false;
        }
        // Later: the click may open a modal window, whose loop must not run
        // inside this timer's handler. A posted call, unlike a single-shot
        // timer, is freed with the button even if it never runs.
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        return true;
    }
    if (words[0] == QStringLiteral("type") && words.size() >= 3) {
        QTest::keyClicks(target, words.mid(2).join(QLatin1Char(' ')));
        return true;
    }
    if (words[0] == QStringLiteral("select") && words.size() == 3) {
        auto* view = qobject_cast<QAbstractItemView*>(target);
        if (view == nullptr || view->model()->rowCount() <= words[2].toInt()) {
            return false;
        }
        view->selectionModel()->select(
            view->model()->index(words[2].toInt(), 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

QWidget* GuiScript::Find(const QString& name) {
    // Only the window the user can work in: the topmost modal one, which is
    // the main window itself while no dialog is open.
    QWidget* modal = QApplication::activeModalWidget();
    return modal == nullptr ? nullptr : modal->findChild<QWidget*>(name);
}

}  // namespace porthold::app::testing
