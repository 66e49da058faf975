#pragma once

#include <QDialog>
#include <string>

#include "ui/dialog_services.h"

namespace porthold::ui {

// Records a new prompt from the sound card's microphone into the program
// folder's "temp.wav" while it is open. Stop ends the recording, plays it back
// and offers to keep it under a name the user chooses in the sounds folder;
// Escape throws it away. "temp.wav" is deleted whichever way the dialog ends.
//
// The engine's tick writes the recorder's filled buffers while the dialog is
// open. Main thread only.
class RecordingDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 179;
    static constexpr int kStopButtonId = 1;

    explicit RecordingDlg(const DialogServices& services, QWidget* parent = nullptr);

    // Starts the recording and runs the dialog modally. Rejected at once,
    // without showing the dialog, when the recording cannot be started.
    int Run();

    // Stop: ends the recording, plays it and asks whether to keep it.
    void accept() override;
    // Escape or the window closing: the recording is stopped and thrown away,
    // so the microphone is not left recording into a file nobody will use.
    void reject() override;

private:
    // Stops the recorder, retrying while the device still holds a buffer,
    // for a bounded time. False when it could not be stopped.
    bool StopRecorder();
    void OfferToKeepRecording();
    std::string TemporaryFile() const;

    const DialogServices& services_;
};

}  // namespace porthold::ui
