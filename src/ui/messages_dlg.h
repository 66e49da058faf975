#pragma once

#include <QDialog>
#include <QIcon>
#include <QRect>
#include <string>

#include "audio/wave_player.h"
#include "platform/clock.h"
#include "ui/dialog_services.h"

class QPushButton;

namespace porthold::ui {

class ReportView;

// Where the user listens to and deletes the messages callers left: every
// record of the message list in a row, new ones marked, with Play and Delete
// for the selected row. Playing marks a message heard; deleting removes its
// record and its WAVE file. The main window hands in its count of new
// messages and takes it back afterwards, so its new-message look follows.
//
// OK stops a message still playing; Escape closes without stopping it.
// Main thread only.
class MessagesDlg final : public QDialog {
    Q_OBJECT

public:
    // The services must outlive the dialog.
    MessagesDlg(const DialogServices& services, QWidget* parent = nullptr);

    void SetNewMessageCount(int count) { newMessageCount_ = count; }
    int NewMessageCount() const { return newMessageCount_; }

    void accept() override;

private:
    void BuildControls();
    QPushButton* AddButton(const QString& name, const QString& text, int controlId, QRect place);
    void FillList();
    void UpdateMessageButtons();
    void DisableMessageButtons();

    void OnSelectionChanged();
    void OnPlay();
    void OnDelete();

    // The full file name of the message in `row`, as the list holds it.
    std::string MessagePath(int row) const;
    // Deletes the message's WAVE file, provided it lies in the messages folder.
    void DeleteMessageFile(const std::string& path);
    // Recounts the new messages and writes the list, telling the user when
    // the file could not be written.
    void SaveMessageList();

    const DialogServices& services_;
    ReportView* list_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* delete_ = nullptr;
    // Row images; null when the picture is missing.
    QIcon newImage_;
    QIcon heardImage_;
    int newMessageCount_ = 0;
};

// "Playing message..." while a message plays on the sound card: it closes by
// itself once the player holds no sound any more (looked for every 100 ms).
// Stop or Enter cuts the message off and closes; Escape closes and lets the
// message play on. No title bar, centred on the screen.
class PlayingMessageDlg final : public QDialog, private platform::TimerHandler {
    Q_OBJECT

public:
    // The player and clock must outlive the dialog.
    PlayingMessageDlg(audio::WavePlayer& player, platform::Clock& clock, QWidget* parent = nullptr);
    ~PlayingMessageDlg() override;

    // Shows it centred and runs it modally until it closes.
    void Run();

private:
    static constexpr platform::TimerId kWatchTimer = 1;
    static constexpr std::uint32_t kWatchMilliseconds = 100;

    void OnTimer(platform::TimerId id) override;
    void Stop();

    audio::WavePlayer& player_;
    platform::Clock& clock_;
};

}  // namespace porthold::ui
