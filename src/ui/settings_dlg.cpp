#include "ui/settings_dlg.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <array>
#include <optional>

#include "audio/telephony_format.h"
#include "config/settings_registry.h"
#include "config/settings_writer.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/recording_dlg.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui {

namespace {

constexpr int kWidth = 309;
constexpr int kHeight = 186;
constexpr int kRemotePinMaximumLength = 10;
// Shorter PINs are allowed, but the user is warned at Save.
constexpr std::size_t kRemotePinAdvisedLength = 3;

constexpr std::string_view kSitToneFile = "sit_tone.wav";
constexpr std::string_view kPinAssignedText = "That PIN is assigned to a caller.";
constexpr std::string_view kDigitsOnlyText = "This field can only contain digits (0-9).";
constexpr std::string_view kShortPinWarning =
    "WARNING: To prevent easy access to your messages,\nyou should make your remote message "
    "retrieval PIN\nat least 3 digits long.";

// The drop-down's entries in order, each editing one prompt.
struct SoundEntry {
    const char* text;
    std::string config::Settings::*path;
};
constexpr std::array<SoundEntry, 6> kSoundEntries{{
    {"Initial Greeting", &config::Settings::Greeting},
    {"Invalid PIN Entry", &config::Settings::InvalidPIN},
    {"Valid PIN Entry", &config::Settings::ValidPIN},
    {"No Answer", &config::Settings::NoAnswer},
    {"Message Prompt", &config::Settings::RecordMsg},
    {"Beep", &config::Settings::Beep},
}};

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// An integer as typed, blanks around it allowed; none for any other text.
std::optional<qint64> ParseInteger(const QString& text) {
    bool isNumber = false;
    const qint64 number = text.trimmed().toLongLong(&isNumber);
    return isNumber ? std::optional<qint64>(number) : std::nullopt;
}

// An edit with spin arrows that takes any text, so that the number is checked
// at Save rather than refused key by key. The arrows (and the arrow keys)
// step the number typed, or the last one stepped to when the text is not a
// number, and stop at the ends of the range.
class NumberSpinEdit final : public QAbstractSpinBox {
public:
    NumberSpinEdit(qint64 value, int minimum, int maximum, QWidget* parent)
        : QAbstractSpinBox(parent),
          minimum_(minimum),
          maximum_(maximum),
          position_(static_cast<int>(std::clamp<qint64>(value, minimum, maximum))) {
        lineEdit()->setText(QString::number(value));
    }

    QValidator::State validate(QString& /*input*/, int& /*position*/) const override {
        return QValidator::Acceptable;
    }

    void stepBy(int steps) override {
        const qint64 start = ParseInteger(text()).value_or(position_);
        position_ = static_cast<int>(std::clamp<qint64>(start + steps, minimum_, maximum_));
        lineEdit()->setText(QString::number(position_));
        selectAll();
    }

protected:
    StepEnabled stepEnabled() const override {
        const std::optional<qint64> number = ParseInteger(text());
        if (!number) {
            return StepUpEnabled | StepDownEnabled;
        }
        StepEnabled enabled = StepNone;
        if (*number < maximum_) {
            enabled |= StepUpEnabled;
        }
        if (*number > minimum_) {
            enabled |= StepDownEnabled;
        }
        return enabled;
    }

private:
    int minimum_;
    int maximum_;
    int position_;
};

template <typename Widget>
Widget* Named(Widget* widget, const char* name, int controlId) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setProperty("controlId", controlId);
    return widget;
}

QLabel* CreateLabel(QWidget* parent, const char* text, QRect geometry) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

QGroupBox* CreateFrame(QWidget* parent, const char* title, QRect geometry) {
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    group->setGeometry(geometry);
    return group;
}

// A labelled number with its range; the edit and its spin arrows are one
// widget, spanning the places of both.
struct NumberField {
    const char* label;
    int labelLeft;
    int labelWidth;
    const char* name;
    int editId;
    int spinId;
    int editLeft;
    // The same ranges start-up holds stored settings to.
    config::NumberRange range;
};
constexpr NumberField kRingsToAnswerField{
    "Rings to answer:", 50, 54, "ringsToAnswerEdit", 1008, 1000, 62, config::kRingsAnswerRange};
constexpr NumberField kRingsToMessageField{
    "Rings to message prompt:", 115, 82, "ringsToMessageEdit", 1009, 1001, 138,
    config::kRingsMessageRange};
constexpr NumberField kSilenceLevelField{
    "Silence Level:", 211, 46, "silenceLevelEdit", 1018, 1002, 220, config::kSilenceLevelRange};

QAbstractSpinBox* CreateNumberField(QWidget* parent, LayoutUnits units, const NumberField& field,
                                    qint64 value) {
    CreateLabel(parent, field.label, DialogRect(units, field.labelLeft, 54, field.labelWidth, 8));
    auto* edit = Named(new NumberSpinEdit(value, static_cast<int>(field.range.minimum),
                                          static_cast<int>(field.range.maximum), parent),
                       field.name, field.editId);
    edit->setProperty("spinControlId", field.spinId);
    edit->setGeometry(DialogRect(units, field.editLeft, 64, 29, 14));
    return edit;
}

// The number in `edit` when it is an integer in the field's range; otherwise
// tells the user what it must be and puts the cursor there.
std::optional<int> TakeNumber(QAbstractSpinBox& edit, const NumberField& field,
                              platform::MessageBoxes& messageBoxes) {
    const int minimum = static_cast<int>(field.range.minimum);
    const int maximum = static_cast<int>(field.range.maximum);
    const std::optional<qint64> number = ParseInteger(edit.text());
    if (number && *number >= minimum && *number <= maximum) {
        return static_cast<int>(*number);
    }
    const std::string message = QStringLiteral("Enter an integer between %1 and %2.")
                                    .arg(minimum)
                                    .arg(maximum)
                                    .toStdString();
    messageBoxes.Show(message, platform::kMessageBoxCaption, platform::MessageBoxButtons::Ok,
                      platform::MessageBoxIcon::Information);
    edit.setFocus();
    edit.selectAll();
    return std::nullopt;
}

QPushButton* CreateButton(QWidget* parent, const char* text, const char* name, int controlId,
                          QRect geometry) {
    auto* button = Named(new QPushButton(QString::fromLatin1(text), parent), name, controlId);
    button->setGeometry(geometry);
    return button;
}

}  // namespace

SettingsDlg::SettingsDlg(const DialogServices& services, const config::Settings& values,
                         QWidget* parent)
    : QDialog(parent), services_(services), values_(values) {
    setObjectName(QStringLiteral("SettingsDlg"));
    setProperty("templateId", kTemplateId);
    // A caption without a system menu or close box; Escape still cancels.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Settings"));
    setFont(DialogFont());
    const LayoutUnits units = FontLayoutUnits(font());
    setFixedSize(DialogWidth(units, kWidth), DialogHeight(units, kHeight));

    // Built in tab order: the fields top to bottom, then Save and Cancel.
    BuildPinGroup(units);
    BuildNumberGroup(units);
    BuildSoundGroup(units);
    BuildButtons(units);
    remotePin_->setFocus();
    // Connected after the fields are filled: the stored PIN is not checked
    // again until the user edits it.
    connect(remotePin_, &QLineEdit::textChanged, this, &SettingsDlg::OnPinChanged);
}

void SettingsDlg::BuildPinGroup(LayoutUnits units) {
    CreateFrame(this, "", DialogRect(units, 33, 4, 132, 35));
    CreateLabel(this, "Remote message retrieval PIN:", DialogRect(units, 47, 10, 98, 8));
    remotePin_ = Named(new QLineEdit(FromUtf8(values_.RemotePIN), this), "remotePinEdit", 1017);
    remotePin_->setMaxLength(kRemotePinMaximumLength);
    remotePin_->setGeometry(DialogRect(units, 67, 20, 61, 14));

    const QRect picture = DialogRect(units, 7, 14, 18, 17);
    CreatePictureFrame(this, widgets::kBitmapSettings, picture.topLeft(), picture.size());
}

void SettingsDlg::BuildNumberGroup(LayoutUnits units) {
    CreateFrame(this, "", DialogRect(units, 18, 47, 273, 36));
    ringsToAnswer_ = CreateNumberField(this, units, kRingsToAnswerField, values_.RingsAnswer);
    ringsToMessage_ = CreateNumberField(this, units, kRingsToMessageField, values_.RingsMessage);
    silenceLevel_ = CreateNumberField(this, units, kSilenceLevelField, values_.SilenceLevel);
}

void SettingsDlg::BuildSoundGroup(LayoutUnits units) {
    CreateFrame(this, "Sound Playback Selections", DialogRect(units, 18, 90, 273, 75));
    sounds_ = Named(new QComboBox(this), "soundList", 1038);
    for (const SoundEntry& entry : kSoundEntries) {
        sounds_->addItem(QString::fromLatin1(entry.text));
    }
    // The closed list's height; the open list shows the six entries.
    sounds_->setGeometry(DialogRect(units, 25, 102, 134, 14));
    soundPath_ = Named(new QLineEdit(this), "soundPathEdit", 1019);
    soundPath_->setEnabled(false);
    soundPath_->setGeometry(DialogRect(units, 25, 121, 258, 14));
    OnSoundSelected(0);
    connect(sounds_, &QComboBox::currentIndexChanged, this, &SettingsDlg::OnSoundSelected);

    auto* change =
        CreateButton(this, "Change", "changeButton", 1020, DialogRect(units, 25, 142, 50, 14));
    auto* test = CreateButton(this, "Test", "testButton", 1021, DialogRect(units, 80, 142, 50, 14));
    auto* record =
        CreateButton(this, "Record", "recordButton", 4, DialogRect(units, 135, 142, 50, 14));
    connect(change, &QPushButton::clicked, this, &SettingsDlg::OnChangeSound);
    connect(test, &QPushButton::clicked, this, &SettingsDlg::OnTestSound);
    connect(record, &QPushButton::clicked, this, &SettingsDlg::OnRecord);

    sitTone_ = Named(new QCheckBox(QStringLiteral("Use SIT Tone (Telemarketers may remove your "
                                                  "number when this tone is detected)"),
                                   this),
                     "sitToneCheck", 111);
    sitTone_->setChecked(values_.UseSitTone);
    sitTone_->setGeometry(DialogRect(units, 16, 170, 277, 10));
    // Only the user's click previews the tone, not the initial state.
    connect(sitTone_, &QCheckBox::clicked, this, &SettingsDlg::OnSitToneClicked);
}

void SettingsDlg::BuildButtons(LayoutUnits units) {
    save_ = CreateButton(this, "Save", "saveButton", 1, DialogRect(units, 184, 16, 50, 14));
    save_->setDefault(true);
    auto* cancel =
        CreateButton(this, "Cancel", "cancelButton", 2, DialogRect(units, 238, 16, 50, 14));
    connect(save_, &QPushButton::clicked, this, &SettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &SettingsDlg::reject);
}

// ---------------------------------------------------------------------------
// The fields

void SettingsDlg::OnPinChanged() {
    // The PIN is keyed on a telephone, so only digits can ever be entered, and
    // a caller's PIN would ring through instead of opening the messages.
    save_->setEnabled(true);
    const std::string pin = remotePin_->text().toStdString();
    if (!services_.callers.IsPinFree(pin)) {
        save_->setEnabled(false);
        Inform(kPinAssignedText);
        return;
    }
    if (!HoldsOnlyDigits(pin)) {
        save_->setEnabled(false);
        Inform(kDigitsOnlyText);
    }
}

void SettingsDlg::OnSoundSelected(int index) {
    if (index >= 0 && index < static_cast<int>(kSoundEntries.size())) {
        soundPath_->setText(FromUtf8(values_.*kSoundEntries[index].path));
    }
}

std::string& SettingsDlg::SelectedSoundPath() {
    const int index =
        std::clamp(sounds_->currentIndex(), 0, static_cast<int>(kSoundEntries.size()) - 1);
    return values_.*kSoundEntries[index].path;
}

void SettingsDlg::OnChangeSound() {
    const std::optional<std::string> chosen =
        ChooseSoundFile(services_, platform::FileDialogPurpose::Open);
    if (!chosen) {
        return;
    }
    soundPath_->setText(FromUtf8(*chosen));
    const std::string path = soundPath_->text().toStdString();
    if (audio::IsTelephonyFormat(path, services_.messageBoxes)) {
        PlayPreview(services_.audio.Player(), path);
    }
    // Kept even when it failed the test: the user may mean to convert it.
    SelectedSoundPath() = path;
}

void SettingsDlg::OnTestSound() {
    const std::string path = soundPath_->text().toStdString();
    if (audio::IsTelephonyFormat(path, services_.messageBoxes)) {
        PlayPreview(services_.audio.Player(), path);
    }
}

void SettingsDlg::OnRecord() {
    RecordingDlg recording(services_, this);
    recording.Run();
}

void SettingsDlg::OnSitToneClicked(bool checked) {
    if (checked) {
        PlayPreview(services_.audio.Player(),
                    services_.settings.soundsFolder + std::string(kSitToneFile));
    }
}

// ---------------------------------------------------------------------------
// Save and Cancel

void SettingsDlg::accept() {
    services_.audio.Player().InterruptWaveOut();
    // Every field is checked before anything is written, so that a value out
    // of range never reaches the key (and the engine) and the user can correct
    // it here. The PIN's length is held by its edit.
    if (!TakeNumbers()) {
        return;
    }
    values_.UseSitTone = sitTone_->isChecked();
    values_.RemotePIN = remotePin_->text().toStdString();
    if (values_.RemotePIN.size() < kRemotePinAdvisedLength) {
        Inform(kShortPinWarning);
    }
    // A key that cannot be written is logged; the dialog closes all the same
    // and the reload shows what the key holds.
    config::SaveSettings(values_, services_.registry, services_.errorLog);
    QDialog::accept();
}

void SettingsDlg::reject() {
    services_.audio.Player().InterruptWaveOut();
    QDialog::reject();
}

bool SettingsDlg::TakeNumbers() {
    const std::optional<int> ringsToAnswer =
        TakeNumber(*ringsToAnswer_, kRingsToAnswerField, services_.messageBoxes);
    if (!ringsToAnswer) {
        return false;
    }
    const std::optional<int> ringsToMessage =
        TakeNumber(*ringsToMessage_, kRingsToMessageField, services_.messageBoxes);
    if (!ringsToMessage) {
        return false;
    }
    const std::optional<int> silenceLevel =
        TakeNumber(*silenceLevel_, kSilenceLevelField, services_.messageBoxes);
    if (!silenceLevel) {
        return false;
    }
    values_.RingsAnswer = static_cast<std::uint32_t>(*ringsToAnswer);
    values_.RingsMessage = *ringsToMessage;
    values_.SilenceLevel = *silenceLevel;
    return true;
}

void SettingsDlg::Inform(std::string_view text) {
    services_.messageBoxes.Show(text, platform::kMessageBoxCaption, platform::MessageBoxButtons::Ok,
                                platform::MessageBoxIcon::Information);
}

}  // namespace porthold::ui
