#include "ui/messages_dlg.h"

#include <QByteArray>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>

#include "platform/files.h"
#include "platform/multimedia/wave_types.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/popup_window.h"
#include "ui/report_view.h"
#include "ui/widgets/button_picture.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui {

namespace {

constexpr int kMessagesTemplate = 137;
constexpr int kPlayingMessageTemplate = 202;
constexpr int kOkButton = 1;
constexpr int kStopButton = 1;
constexpr int kMessageList = 1013;
constexpr int kPlayButton = 1014;
constexpr int kDeleteButton = 1015;

constexpr int kWidth = 315;
constexpr int kHeight = 148;
constexpr int kPlayingWidth = 74;
constexpr int kPlayingHeight = 39;

constexpr int kFileNameColumn = 3;
// The record's path as its bytes: a cell's text is Unicode, and a folder name
// that is not UTF-8 would not survive the way back.
constexpr int kPathRole = Qt::UserRole;

constexpr std::string_view kDeleteCaption = "Delete Message?";
constexpr std::string_view kDeleteQuestion =
    "This will permanently delete the selected message.\n\nContinue?";
constexpr std::string_view kSaveFailedText = "The message database could not be saved.";
constexpr std::string_view kSaveFailedLog = "Could not save message file.";

// The new and heard row images, side by side in one picture, with white cut
// out so the row's background shows through.
std::pair<QIcon, QIcon> LoadRowImages() {
    QIcon newImage;
    QIcon heardImage;
    for (const QImage& strip : widgets::LoadBitmap(widgets::kBitmapMessageStates)) {
        const QImage cutOut = widgets::CutOutTransparentColour(strip, widgets::kWhite);
        if (cutOut.isNull()) {
            continue;
        }
        const int half = cutOut.width() / 2;
        QImage left = cutOut.copy(0, 0, half, cutOut.height());
        QImage right = cutOut.copy(half, 0, half, cutOut.height());
        left.setDevicePixelRatio(strip.devicePixelRatio());
        right.setDevicePixelRatio(strip.devicePixelRatio());
        newImage.addPixmap(QPixmap::fromImage(left));
        heardImage.addPixmap(QPixmap::fromImage(right));
    }
    return {newImage, heardImage};
}

// Whether `path` names a WAVE file right in the messages folder. Dots and
// linked folders on the way are resolved first, so a record that points
// elsewhere, by mistake or by a hand-edited list, cannot make the dialog
// delete a file it does not own. A file that is itself a link is fine:
// deleting it removes the link, not what it points to.
bool IsInMessagesFolder(const std::string& path, const std::string& messagesFolder) {
    namespace fs = std::filesystem;
    const fs::path file(path);
    const fs::path name = file.filename();
    if (name.empty() || !name.string().ends_with(".wav")) {
        return false;
    }
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(file.parent_path(), error);
    if (error || folder.empty()) {
        return false;
    }
    // Joining a name and taking its folder again gives both sides the same
    // form, with no separator at the end.
    const fs::path messages =
        fs::weakly_canonical((fs::path(messagesFolder) / name).parent_path(), error);
    return !error && folder == messages;
}

}  // namespace

MessagesDlg::MessagesDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setObjectName(QStringLiteral("MessagesDlg"));
    setProperty("templateId", kMessagesTemplate);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Messages"));
    setFont(DialogFont());
    std::tie(newImage_, heardImage_) = LoadRowImages();
    BuildControls();
    FillList();
}

void MessagesDlg::BuildControls() {
    const LayoutUnits units = FontLayoutUnits(font());
    setFixedSize(DialogWidth(units, kWidth), DialogHeight(units, kHeight));

    const QRect picture = DialogRect(units, 7, 8, 18, 17);
    CreatePictureFrame(this, widgets::kBitmapMessages, picture.topLeft(), picture.size());

    play_ = AddButton(QStringLiteral("playButton"), QStringLiteral("Play"), kPlayButton,
                      DialogRect(units, 30, 10, 50, 14));
    delete_ = AddButton(QStringLiteral("deleteButton"), QStringLiteral("Delete"), kDeleteButton,
                        DialogRect(units, 84, 10, 50, 14));
    ok_ = AddButton(QStringLiteral("okButton"), QStringLiteral("OK"), kOkButton,
                    DialogRect(units, 258, 10, 50, 14));
    ok_->setDefault(true);
    DisableMessageButtons();

    list_ = new ReportView({QStringLiteral("Number"), QStringLiteral("PIN"),
                            QStringLiteral("Date & Time"), QStringLiteral("File Name")},
                           this);
    list_->setObjectName(QStringLiteral("messageList"));
    list_->setProperty("controlId", kMessageList);
    list_->setGeometry(DialogRect(units, 7, 32, 301, 109));
    list_->setIconSize(QSize(16, 16));

    // The list first, so the arrow keys choose a message at once.
    setTabOrder(list_, play_);
    setTabOrder(play_, delete_);
    setTabOrder(delete_, ok_);
    list_->setFocus();

    connect(list_, &ReportView::SelectionChanged, this, &MessagesDlg::OnSelectionChanged);
    connect(play_, &QPushButton::clicked, this, &MessagesDlg::OnPlay);
    connect(delete_, &QPushButton::clicked, this, &MessagesDlg::OnDelete);
    connect(ok_, &QPushButton::clicked, this, &MessagesDlg::accept);
}

QPushButton* MessagesDlg::AddButton(const QString& name, const QString& text, int controlId,
                                    QRect place) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setProperty("controlId", controlId);
    button->setGeometry(place);
    return button;
}

void MessagesDlg::FillList() {
    // Refilling is not the user choosing another message: a message still
    // playing after the playing window was dismissed plays on.
    const QSignalBlocker quiet(list_);
    list_->RemoveAllRows();
    const int count = services_.messages.NodeCount();
    for (int index = 0; index < count; ++index) {
        std::string path;
        std::string pin;
        std::string dateTime;
        bool isNew = false;
        if (!services_.messages.GetNode(index, path, pin, dateTime, isNew)) {
            break;
        }
        list_->InsertRow(index,
                         {QString::number(index + 1), QString::fromStdString(pin),
                          QString::fromStdString(dateTime), QString::fromStdString(path)},
                         isNew ? newImage_ : heardImage_);
        list_->item(index, kFileNameColumn)->setData(kPathRole, QByteArray::fromStdString(path));
        if (index == 0) {
            // Every row holds one line of the dialog's font and an image of
            // one size, so the first row's height is every row's. New rows
            // take the default height; measuring each row's text instead took
            // most of half a second with ten thousand messages.
            list_->resizeRowToContents(0);
            list_->verticalHeader()->setDefaultSectionSize(list_->rowHeight(0));
        }
    }
    // The widths look at the rows on show and a thousand more at most.
    list_->resizeColumnsToContents();
}

void MessagesDlg::UpdateMessageButtons() {
    const bool selected = list_->SelectionMark() != -1;
    play_->setEnabled(selected);
    delete_->setEnabled(selected);
}

void MessagesDlg::DisableMessageButtons() {
    play_->setEnabled(false);
    delete_->setEnabled(false);
}

void MessagesDlg::OnSelectionChanged() {
    // Choosing another message stops the one playing.
    services_.audio.Player().InterruptWaveOut();
    UpdateMessageButtons();
}

void MessagesDlg::accept() {
    services_.audio.Player().InterruptWaveOut();
    QDialog::accept();
}

void MessagesDlg::OnPlay() {
    const int row = list_->SelectionMark();
    if (row == -1) {
        return;
    }
    const std::string path = MessagePath(row);
    // Heard even when the file cannot be played: the user did try.
    services_.messages.MarkHeard(path);
    DisableMessageButtons();
    audio::WavePlayer& player = services_.audio.Player();
    // A file that cannot be played needs no word of its own: the playing
    // window finds nothing playing and closes at its first look.
    PlayPreview(player, path);
    PlayingMessageDlg playing(player, services_.clock, this);
    playing.Run();
    SaveMessageList();
    FillList();
    UpdateMessageButtons();
}

void MessagesDlg::OnDelete() {
    const int row = list_->SelectionMark();
    if (row == -1) {
        return;
    }
    if (!ConfirmDeletion(services_.messageBoxes, kDeleteQuestion, kDeleteCaption)) {
        return;
    }
    const std::string path = MessagePath(row);
    // A file already gone still loses its record, without a word.
    services_.messages.DeleteNode(path);
    DeleteMessageFile(path);
    {
        const QSignalBlocker quiet(list_);
        list_->removeRow(row);
    }
    SaveMessageList();
    if (list_->rowCount() > 0) {
        // The numbers are positions, so the ones after the deleted row close up.
        FillList();
    }
    // Nothing is selected any more, so Play and Delete have nothing to act on.
    UpdateMessageButtons();
}

std::string MessagesDlg::MessagePath(int row) const {
    const QTableWidgetItem* cell = list_->item(row, kFileNameColumn);
    return cell == nullptr ? std::string() : cell->data(kPathRole).toByteArray().toStdString();
}

void MessagesDlg::DeleteMessageFile(const std::string& path) {
    if (!IsInMessagesFolder(path, services_.settings.messagesFolder)) {
        services_.errorLog.LogError("Delete message: file outside the messages folder kept: " +
                                    path);
        return;
    }
    platform::DeleteFile(path);
}

void MessagesDlg::SaveMessageList() {
    newMessageCount_ = services_.messages.CountNew();
    if (!services_.messages.SaveList()) {
        services_.messageBoxes.Show(kSaveFailedText, platform::kMessageBoxCaption,
                                    platform::MessageBoxButtons::Ok,
                                    platform::MessageBoxIcon::Information);
        services_.errorLog.LogError(kSaveFailedLog);
    }
}

// ---------------------------------------------------------------------------

PlayingMessageDlg::PlayingMessageDlg(audio::WavePlayer& player, platform::Clock& clock,
                                     QWidget* parent)
    : QDialog(parent), player_(player), clock_(clock) {
    setObjectName(QStringLiteral("PlayingMessageDlg"));
    setProperty("templateId", kPlayingMessageTemplate);
    QFrame* frame = PreparePopupWindow(*this, kPlayingWidth, kPlayingHeight);
    const LayoutUnits units = PopupUnits(*this);
    const QPoint origin = frame->contentsRect().topLeft();

    auto* text = new QLabel(QStringLiteral("Playing message..."), frame);
    text->setObjectName(QStringLiteral("playingText"));
    text->setTextFormat(Qt::PlainText);
    text->setGeometry(DialogRect(units, 7, 7, 60, 8).translated(origin));

    auto* stop = new QPushButton(QStringLiteral("Stop"), frame);
    stop->setObjectName(QStringLiteral("stopButton"));
    stop->setProperty("controlId", kStopButton);
    stop->setGeometry(DialogRect(units, 11, 19, 50, 14).translated(origin));
    stop->setDefault(true);
    connect(stop, &QPushButton::clicked, this, &PlayingMessageDlg::Stop);
}

PlayingMessageDlg::~PlayingMessageDlg() {
    clock_.KillTimer(*this, kWatchTimer);
}

void PlayingMessageDlg::Run() {
    CentreOnScreen(*this);
    clock_.SetTimer(*this, kWatchTimer, kWatchMilliseconds);
    exec();
    clock_.KillTimer(*this, kWatchTimer);
}

void PlayingMessageDlg::OnTimer(platform::TimerId id) {
    if (id != kWatchTimer) {
        return;
    }
    player_.DeleteWaveOut();
    // Before the window shows there is no loop to end yet; the next look will.
    if (player_.IsQueueEmpty() && isVisible()) {
        clock_.KillTimer(*this, kWatchTimer);
        accept();
    }
}

void PlayingMessageDlg::Stop() {
    player_.InterruptWaveOut();
    clock_.KillTimer(*this, kWatchTimer);
    accept();
}

}  // namespace porthold::ui
