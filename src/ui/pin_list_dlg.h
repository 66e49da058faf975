#pragma once

#include <QDialog>
#include <string>

#include "store/caller_pin_list.h"
#include "ui/dialog_services.h"
#include "ui/edit_caller_dlg.h"

class QPushButton;

namespace porthold::ui {

class ReportView;

// The PIN List dialog: every caller who may ring through, the one added last
// on top, with Add, Edit and Delete. Each change is written to the list files
// at once, so closing the dialog has nothing left to save. Main thread only.
class PinListDlg final : public QDialog {
    Q_OBJECT

public:
    PinListDlg(const DialogServices& services, QWidget* parent = nullptr);

    // The remote retrieval PIN, which no caller may be given; set before exec.
    void SetRemotePin(const std::string& pin) { remotePin_ = pin; }

private:
    void CreateControls();
    // Shows the list as it is now, nothing selected.
    void FillList();
    void UpdateRowButtons();
    // The caller shown in `row`; rows run from the end of the list.
    store::CallerRecord CallerInRow(int row) const;

    void AddCaller();
    void EditCaller();
    void DeleteCaller();
    void RunEditCaller(CallerEditMode mode, const store::CallerRecord& caller);

    const DialogServices& services_;
    std::string remotePin_;
    ReportView* list_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
};

}  // namespace porthold::ui
