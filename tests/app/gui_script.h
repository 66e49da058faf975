#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class QWidget;

namespace porthold::app::testing {

// Works the program's windows as a user at the screen would, from commands a
// test appends to a file, one a line, each carried out once the window it
// needs is there:
//   click NAME        presses the button of that object name
//   type NAME TEXT    types TEXT into that field, key by key
//   select NAME ROW   selects that row of a list
// Names are looked up in the topmost modal window, the one a user could
// work in. After each command "done:" and the command are printed.
class GuiScript final : public QObject {
public:
    using Print = std::function<void(const char* what, const QString& text)>;

    GuiScript(QString commandFile, Print print);

private:
    void Step();
    void ReadNewCommands();
    // Whether the command could be carried out now.
    bool Perform(const QStringList& words);
    static QWidget* Find(const QString& name);

    QString commandFile_;
    Print print_;
    QTimer timer_;
    qsizetype bytesRead_ = 0;
    QStringList pending_;
};

}  // namespace porthold::app::testing
