#include "ui/pin_list_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/report_view.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui {

namespace {

constexpr int kTemplateId = 138;
constexpr int kWidth = 315;
constexpr int kHeight = 151;

constexpr int kOkButton = 1;
constexpr int kAddButton = 1016;
constexpr int kEditButton = 1017;
constexpr int kDeleteButton = 1018;
constexpr int kCallerList = 1019;

constexpr std::string_view kDefaultMessage = "Incoming call from... ";
constexpr std::string_view kDefaultSound = "default_ring.wav";

constexpr std::string_view kDeleteCaption = "Delete PIN?";
constexpr std::string_view kDeleteQuestion =
    "This will permanently delete the caller PIN.\n\nContinue?";
constexpr std::string_view kRemoveFailedText =
    "Error saving caller information.\nChanges will not be saved.";
// Kept as the log has always named a failed deletion, so that existing logs
// and whoever reads them see the same line.
constexpr std::string_view kRemoveFailedLog = "EditCallerDlg: AddNode FAILED";

QPushButton* CreateButton(QWidget* parent, const char* text, const char* name, int controlId) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setProperty("controlId", controlId);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

PinListDlg::PinListDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent), services_(services), remotePin_(services.settings.RemotePIN) {
    setObjectName(QStringLiteral("PinListDlg"));
    setProperty("templateId", kTemplateId);
    setWindowTitle(QStringLiteral("PIN List"));
    setFont(DialogFont());
    CreateControls();
    FillList();
}

void PinListDlg::CreateControls() {
    const LayoutUnits units = FontLayoutUnits(font());
    setFixedSize(DialogWidth(units, kWidth), DialogHeight(units, kHeight));

    const QRect picture = DialogRect(units, 7, 8, 23, 21);
    CreatePictureFrame(this, widgets::kBitmapPinList, picture.topLeft(), picture.size());

    auto* ok = CreateButton(this, "OK", "okButton", kOkButton);
    ok->setGeometry(DialogRect(units, 258, 10, 50, 14));
    ok->setDefault(true);
    auto* add = CreateButton(this, "Add", "addButton", kAddButton);
    add->setGeometry(DialogRect(units, 30, 10, 50, 14));
    edit_ = CreateButton(this, "Edit", "editButton", kEditButton);
    edit_->setGeometry(DialogRect(units, 84, 10, 50, 14));
    delete_ = CreateButton(this, "Delete", "deleteButton", kDeleteButton);
    delete_->setGeometry(DialogRect(units, 138, 10, 50, 14));

    list_ = new ReportView(
        {QStringLiteral("PIN"), QStringLiteral("Message"), QStringLiteral("Sound")}, this);
    list_->setObjectName(QStringLiteral("callerList"));
    list_->setProperty("controlId", kCallerList);
    list_->setGeometry(DialogRect(units, 7, 32, 301, 112));

    // The list first, so the arrow keys choose a caller at once; then the
    // buttons in the order they stand.
    setTabOrder(list_, add);
    setTabOrder(add, edit_);
    setTabOrder(edit_, delete_);
    setTabOrder(delete_, ok);
    list_->setFocus();

    connect(ok, &QPushButton::clicked, this, &PinListDlg::accept);
    connect(add, &QPushButton::clicked, this, &PinListDlg::AddCaller);
    connect(edit_, &QPushButton::clicked, this, &PinListDlg::EditCaller);
    connect(delete_, &QPushButton::clicked, this, &PinListDlg::DeleteCaller);
    connect(list_, &ReportView::SelectionChanged, this, &PinListDlg::UpdateRowButtons);
}

void PinListDlg::FillList() {
    list_->RemoveAllRows();
    const store::CallerPinList& callers = services_.callers;
    for (int index = 0; index < callers.NodeCount(); ++index) {
        store::CallerRecord caller;
        callers.GetNode(index, caller.pin, caller.message, caller.sound);
        list_->InsertRow(
            0, {QString::fromStdString(caller.pin), QString::fromStdString(caller.message),
                QString::fromStdString(caller.sound)});
    }
    list_->clearSelection();
    UpdateRowButtons();
    list_->FitColumns();
}

void PinListDlg::UpdateRowButtons() {
    const bool rowChosen = list_->SelectionMark() != -1;
    edit_->setEnabled(rowChosen);
    delete_->setEnabled(rowChosen);
}

store::CallerRecord PinListDlg::CallerInRow(int row) const {
    store::CallerRecord caller;
    // Read from the list rather than the cells, so the caller's text keeps
    // its bytes exactly as stored.
    services_.callers.GetNode(services_.callers.NodeCount() - 1 - row, caller.pin, caller.message,
                              caller.sound);
    return caller;
}

void PinListDlg::AddCaller() {
    const store::CallerRecord caller{"", std::string(kDefaultMessage),
                                     services_.settings.soundsFolder + std::string(kDefaultSound)};
    RunEditCaller(CallerEditMode::Add, caller);
}

void PinListDlg::EditCaller() {
    const int row = list_->SelectionMark();
    if (row == -1) {
        return;
    }
    RunEditCaller(CallerEditMode::Edit, CallerInRow(row));
}

void PinListDlg::RunEditCaller(CallerEditMode mode, const store::CallerRecord& caller) {
    EditCallerDlg dialog(services_, mode, caller, remotePin_, this);
    if (dialog.exec() == QDialog::Accepted) {
        FillList();
    }
}

void PinListDlg::DeleteCaller() {
    const int row = list_->SelectionMark();
    if (row == -1) {
        return;
    }
    if (!ConfirmDeletion(services_.messageBoxes, kDeleteQuestion, kDeleteCaption)) {
        return;
    }
    store::CallerPinList& callers = services_.callers;
    if (callers.RemoveNode(CallerInRow(row).pin)) {
        callers.SaveList();
    } else {
        services_.messageBoxes.Show(kRemoveFailedText, platform::kMessageBoxCaption,
                                    platform::MessageBoxButtons::Ok,
                                    platform::MessageBoxIcon::Information);
        services_.errorLog.LogError(kRemoveFailedLog);
    }
    // Refilled rather than the row dropped: with two callers of one PIN in a
    // hand-made file the list removes the first, which need not be this row.
    FillList();
}

}  // namespace porthold::ui
