#include "ui/edit_caller_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "platform/multimedia/wave_types.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"

namespace porthold::ui {

namespace {

constexpr int kTemplateId = 140;
constexpr int kWidth = 301;
constexpr int kHeight = 118;

constexpr int kOkButton = 1;
constexpr int kCancelButton = 2;
constexpr int kPinField = 1026;
constexpr int kSoundField = 1027;
constexpr int kMessageField = 1028;
constexpr int kChangeButton = 1030;
constexpr int kTestButton = 1032;
// The sound field is never typed into; this is a line edit's own largest limit.
constexpr int kSoundLength = 32767;

constexpr std::string_view kNotDigitsText = "This field can only contain digits (0-9).";
constexpr std::string_view kNotPlayableText =
    "The file you have chosen is not a valid sound file or\nthe sound card may be busy.";
constexpr std::string_view kBlankMessageText =
    "Your message notification for this caller is blank.\nYou will not be able to determine the "
    "caller's identity.\nBe sure to update this field later.";
constexpr std::string_view kNoSoundText =
    "You do not have a sound associated with this caller.\nYou will not hear a sound "
    "notification when this person calls.";
constexpr std::string_view kUpdateFailedText =
    "Error updating caller information.\nChanges will not be saved.";
constexpr std::string_view kAddFailedText =
    "Error saving caller information.\nChanges will not be saved.";

// Whether a PIN may be confirmed, and whether the user must be told why not.
struct PinCheck {
    bool confirmable = false;
    bool hasNonDigit = false;
};

// Only an empty PIN, the remote PIN and a PIN in use are refused silently:
// the user sees at once why they cannot be confirmed.
PinCheck CheckPin(const std::string& pin, const std::string& remotePin,
                  const store::CallerPinList& callers) {
    if (pin.empty() || pin == remotePin || !callers.IsPinFree(pin)) {
        return {};
    }
    const bool allDigits = HoldsOnlyDigits(pin);
    return {allDigits, !allDigits};
}

// The field's text, or the value it was opened with while it still shows
// that: a hand-made list file may hold bytes that do not survive the trip
// through the field, and a caller the user did not touch must be saved as read.
std::string FieldValue(const QLineEdit& field, const std::string& initial) {
    if (field.text() == QString::fromStdString(initial)) {
        return initial;
    }
    return field.text().toStdString();
}

QLineEdit* CreateField(QWidget* parent, const char* name, int controlId, const std::string& text,
                       int maxLength) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setProperty("controlId", controlId);
    const QString shown = QString::fromStdString(text);
    // The limit is for typing: a longer value from a hand-made file is shown
    // and kept whole, not cut off.
    field->setMaxLength(std::max(maxLength, static_cast<int>(shown.size())));
    field->setText(shown);
    return field;
}

QPushButton* CreateButton(QWidget* parent, const char* text, const char* name, int controlId) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setProperty("controlId", controlId);
    button->setAutoDefault(false);
    return button;
}

QLabel* CreateLabel(QWidget* parent, const char* text, const char* name) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

EditCallerDlg::EditCallerDlg(const DialogServices& services, CallerEditMode mode,
                             const store::CallerRecord& caller, std::string remotePin,
                             QWidget* parent)
    : QDialog(parent),
      services_(services),
      mode_(mode),
      initial_(caller),
      remotePin_(std::move(remotePin)),
      sound_(caller.sound) {
    setObjectName(QStringLiteral("EditCallerDlg"));
    setProperty("templateId", kTemplateId);
    setWindowTitle(QStringLiteral("PIN Information"));
    setFont(DialogFont());
    CreateControls();
    // A new caller has no PIN yet; a caller being edited has a valid one.
    ok_->setEnabled(mode_ == CallerEditMode::Edit);

    // textEdited, not textChanged: filling the fields above is not an edit.
    connect(pin_, &QLineEdit::textEdited, this, &EditCallerDlg::OnPinEdited);
}

void EditCallerDlg::CreateControls() {
    const LayoutUnits units = FontLayoutUnits(font());
    setFixedSize(DialogWidth(units, kWidth), DialogHeight(units, kHeight));

    ok_ = CreateButton(this, "OK", "okButton", kOkButton);
    ok_->setGeometry(DialogRect(units, 244, 7, 50, 14));
    ok_->setDefault(true);
    auto* cancel = CreateButton(this, "Cancel", "cancelButton", kCancelButton);
    cancel->setGeometry(DialogRect(units, 244, 24, 50, 14));

    CreateLabel(this, "Caller PIN:", "pinLabel")->setGeometry(DialogRect(units, 7, 7, 34, 8));
    pin_ = CreateField(this, "pinField", kPinField, initial_.pin, kPinLength);
    pin_->setGeometry(DialogRect(units, 7, 17, 87, 14));

    CreateLabel(this, "Show this message upon successful PIN entry:", "messageLabel")
        ->setGeometry(DialogRect(units, 7, 45, 148, 8));
    message_ = CreateField(this, "messageField", kMessageField, initial_.message, kMessageLength);
    message_->setGeometry(DialogRect(units, 7, 56, 287, 14));

    CreateLabel(this, "Play this sound upon successful PIN entry:", "soundLabel")
        ->setGeometry(DialogRect(units, 7, 85, 135, 8));
    soundField_ = CreateField(this, "soundField", kSoundField, sound_, kSoundLength);
    soundField_->setGeometry(DialogRect(units, 7, 97, 177, 14));
    soundField_->setEnabled(false);
    auto* change = CreateButton(this, "Change", "changeButton", kChangeButton);
    change->setGeometry(DialogRect(units, 190, 97, 50, 14));
    auto* test = CreateButton(this, "Test", "testButton", kTestButton);
    test->setGeometry(DialogRect(units, 244, 97, 50, 14));

    // The fields in reading order, then the buttons that end the dialog.
    setTabOrder(pin_, message_);
    setTabOrder(message_, change);
    setTabOrder(change, test);
    setTabOrder(test, ok_);
    setTabOrder(ok_, cancel);
    pin_->setFocus();

    connect(ok_, &QPushButton::clicked, this, &EditCallerDlg::Confirm);
    connect(cancel, &QPushButton::clicked, this, &EditCallerDlg::reject);
    connect(change, &QPushButton::clicked, this, &EditCallerDlg::ChangeSound);
    connect(test, &QPushButton::clicked, this, &EditCallerDlg::PreviewSound);
}

void EditCallerDlg::OnPinEdited() {
    const std::string pin = FieldValue(*pin_, initial_.pin);
    PinCheck check = CheckPin(pin, remotePin_, services_.callers);
    // The caller's own PIN is not free, yet keeping it is allowed.
    if (mode_ == CallerEditMode::Edit && pin == initial_.pin) {
        check.confirmable = true;
    }
    ok_->setEnabled(check.confirmable);
    if (check.hasNonDigit) {
        Inform(kNotDigitsText);
    }
}

void EditCallerDlg::ChangeSound() {
    const std::optional<std::string> chosen =
        ChooseSoundFile(services_, platform::FileDialogPurpose::Open);
    if (!chosen) {
        return;
    }
    sound_ = *chosen;
    soundField_->setText(QString::fromStdString(sound_));
    // The user hears at once what the caller's ring will sound like.
    PreviewSound();
}

void EditCallerDlg::PreviewSound() {
    if (!PlayPreview(services_.audio.Player(), sound_)) {
        // The name stays: the card may only be busy for now.
        Inform(kNotPlayableText);
    }
}

void EditCallerDlg::Confirm() {
    const store::CallerRecord caller{FieldValue(*pin_, initial_.pin),
                                     FieldValue(*message_, initial_.message), sound_};
    // Blank fields are allowed; the user is only warned.
    if (caller.message.empty()) {
        Inform(kBlankMessageText);
    }
    if (caller.sound.empty()) {
        Inform(kNoSoundText);
    }
    StoreCaller(caller);
    services_.audio.Player().InterruptWaveOut();
    // OK even when storing failed, so that the PIN List shows the list as it is.
    accept();
}

void EditCallerDlg::StoreCaller(const store::CallerRecord& caller) {
    store::CallerPinList& callers = services_.callers;
    if (mode_ == CallerEditMode::Edit) {
        if (callers.UpdateNode(initial_.pin, caller.pin, caller.message, caller.sound)) {
            callers.SaveList();
        } else {
            Inform(kUpdateFailedText);
            services_.errorLog.LogError("EditCallerDlg: UpdateNode FAILED");
        }
        return;
    }
    if (callers.AddNode(caller.pin, caller.message, caller.sound)) {
        callers.SaveList();
    } else {
        Inform(kAddFailedText);
        services_.errorLog.LogError("EditCallerDlg: AddNode FAILED");
    }
}

void EditCallerDlg::reject() {
    services_.audio.Player().InterruptWaveOut();
    QDialog::reject();
}

void EditCallerDlg::Inform(std::string_view text) {
    services_.messageBoxes.Show(text, platform::kMessageBoxCaption, platform::MessageBoxButtons::Ok,
                                platform::MessageBoxIcon::Information);
}

}  // namespace porthold::ui
