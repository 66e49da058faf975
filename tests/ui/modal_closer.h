#pragma once

#include <QWidget>
#include <functional>

namespace porthold::testing {

// Runs `action` on the topmost modal window once it is of the class named
// (a QDialog, a QMessageBox), polling every few milliseconds from whatever
// loop is running then.
void WhenModalOpens(const char* className, std::function<void(QWidget& modal)> action);

}  // namespace porthold::testing
