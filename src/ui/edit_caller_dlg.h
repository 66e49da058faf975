#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "store/caller_pin_list.h"
#include "ui/dialog_services.h"

class QLineEdit;
class QPushButton;

namespace porthold::ui {

// Add: a new caller is appended to the list. Edit: the caller that had the
// given PIN when the dialog opened is changed in place.
enum class CallerEditMode { Add, Edit };

// The PIN Information dialog: one caller's PIN, notification text and sound.
// OK stays disabled while the PIN is empty, the remote retrieval PIN, another
// caller's, or not all digits; a confirmed change is written to both list
// files at once. Every way out stops the sound it previewed. Main thread only.
class EditCallerDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kPinLength = 10;
    static constexpr int kMessageLength = 128;

    // `caller` fills the fields; in edit mode its PIN names the caller changed.
    EditCallerDlg(const DialogServices& services, CallerEditMode mode,
                  const store::CallerRecord& caller, std::string remotePin,
                  QWidget* parent = nullptr);

    void reject() override;

private:
    void CreateControls();
    void OnPinEdited();
    void ChangeSound();
    // Plays the sound on the sound card in place of whatever preview played.
    void PreviewSound();
    void Confirm();
    void StoreCaller(const store::CallerRecord& caller);
    void Inform(std::string_view text);

    const DialogServices& services_;
    const CallerEditMode mode_;
    // The values the dialog opened with; the PIN is the old PIN in edit mode.
    const store::CallerRecord initial_;
    const std::string remotePin_;
    // The sound field only shows this; Change alone sets it.
    std::string sound_;

    QLineEdit* pin_ = nullptr;
    QLineEdit* message_ = nullptr;
    QLineEdit* soundField_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace porthold::ui
