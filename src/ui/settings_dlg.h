#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "ui/dialog_services.h"
#include "ui/layout_units.h"

class QAbstractSpinBox;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace porthold::ui {

// Edits the settings the user may change: the ring counts, the silence level,
// the remote retrieval PIN, the SIT tone and the six prompts, which it can
// preview on the sound card and record anew (RecordingDlg). Save checks every
// field and writes the settings key only when all of them hold; the dialog
// then ends Accepted and the main window reloads the settings from the key.
// Cancel and Escape write nothing. Main thread only.
class SettingsDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 135;

    // `values` are the settings in use; the dialog edits a copy of them.
    SettingsDlg(const DialogServices& services, const config::Settings& values,
                QWidget* parent = nullptr);

    // Save.
    void accept() override;
    // Cancel, Escape.
    void reject() override;

private:
    void BuildPinGroup(LayoutUnits units);
    void BuildNumberGroup(LayoutUnits units);
    void BuildSoundGroup(LayoutUnits units);
    void BuildButtons(LayoutUnits units);

    void OnPinChanged();
    void OnSoundSelected(int index);
    void OnChangeSound();
    void OnTestSound();
    void OnRecord();
    void OnSitToneClicked(bool checked);

    // Reads the three numbers into the copy; at the first that is not an
    // integer in its range, tells the user, puts the cursor there and returns
    // false.
    bool TakeNumbers();
    std::string& SelectedSoundPath();
    void Inform(std::string_view text);

    const DialogServices& services_;
    config::Settings values_;
    QLineEdit* remotePin_ = nullptr;
    QAbstractSpinBox* ringsToAnswer_ = nullptr;
    QAbstractSpinBox* ringsToMessage_ = nullptr;
    QAbstractSpinBox* silenceLevel_ = nullptr;
    QComboBox* sounds_ = nullptr;
    QLineEdit* soundPath_ = nullptr;
    QCheckBox* sitTone_ = nullptr;
    QPushButton* save_ = nullptr;
};

}  // namespace porthold::ui
