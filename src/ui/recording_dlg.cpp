#include "ui/recording_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <optional>
#include <string_view>

#include "platform/files.h"
#include "platform/multimedia/wave_types.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/popup_window.h"

namespace porthold::ui {

namespace {

constexpr int kWidth = 86;
constexpr int kHeight = 47;

// A device normally hands its buffers back at once when reset; one that does
// not is given a second before the recording is given up.
constexpr int kStopAttempts = 100;
constexpr std::uint32_t kStopRetryMilliseconds = 10;

constexpr std::string_view kTemporaryFileName = "temp.wav";
constexpr std::string_view kKeepQuestion = "Do you want to keep this recording?";
constexpr std::string_view kStopFailedMessage = "RecordingDlg: StopRecording failed";
constexpr std::string_view kCopyFailedMessage = "RecordingDlg: CopyFile failed";

}  // namespace

RecordingDlg::RecordingDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setObjectName(QStringLiteral("RecordingDlg"));
    setProperty("templateId", kTemplateId);
    // A caption without a system menu or close box, modal to the whole program.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(QStringLiteral("Recording..."));
    setFont(DialogFont());
    const LayoutUnits units = FontLayoutUnits(font());
    setFixedSize(DialogWidth(units, kWidth), DialogHeight(units, kHeight));

    auto* prompt =
        new QLabel(QStringLiteral("Press 'Stop' when you are finished recording."), this);
    prompt->setObjectName(QStringLiteral("promptText"));
    prompt->setTextFormat(Qt::PlainText);
    prompt->setAlignment(Qt::AlignCenter);
    prompt->setWordWrap(true);
    prompt->setGeometry(DialogRect(units, 7, 7, 72, 18));

    auto* stop = new QPushButton(QStringLiteral("Stop"), this);
    stop->setObjectName(QStringLiteral("stopButton"));
    stop->setProperty("controlId", kStopButtonId);
    stop->setGeometry(DialogRect(units, 18, 27, 50, 14));
    stop->setDefault(true);
    connect(stop, &QPushButton::clicked, this, &RecordingDlg::accept);
}

int RecordingDlg::Run() {
    audio::WavePlayer& player = services_.audio.Player();
    audio::WaveRecorder& recorder = services_.audio.Recorder();
    player.InterruptWaveOut();
    // Raised before the start so that the tick writes the first buffer the
    // device fills.
    recorder.SetRecordingFlag();
    if (!recorder.RecordSound(TemporaryFile(), platform::WAVE_MAPPER,
                              audio::SilenceDetection::Off)) {
        // Lowers the flag again and leaves no half-made file behind.
        recorder.StopRecording();
        platform::DeleteFile(TemporaryFile());
        return QDialog::Rejected;
    }
    CentreOnScreen(*this);
    return exec();
}

void RecordingDlg::accept() {
    if (StopRecorder()) {
        PlayPreview(services_.audio.Player(), TemporaryFile());
        OfferToKeepRecording();
    }
    platform::DeleteFile(TemporaryFile());
    QDialog::accept();
}

void RecordingDlg::reject() {
    StopRecorder();
    platform::DeleteFile(TemporaryFile());
    QDialog::reject();
}

bool RecordingDlg::StopRecorder() {
    audio::WaveRecorder& recorder = services_.audio.Recorder();
    for (int attempt = 1; attempt <= kStopAttempts; ++attempt) {
        if (recorder.StopRecording()) {
            return true;
        }
        services_.clock.Sleep(kStopRetryMilliseconds);
    }
    services_.errorLog.LogError(kStopFailedMessage);
    return false;
}

void RecordingDlg::OfferToKeepRecording() {
    const platform::MessageBoxAnswer answer = services_.messageBoxes.Show(
        kKeepQuestion, platform::kMessageBoxCaption, platform::MessageBoxButtons::YesNo,
        platform::MessageBoxIcon::Question);
    if (answer != platform::MessageBoxAnswer::Yes) {
        return;
    }
    const std::optional<std::string> target =
        ChooseSoundFile(services_, platform::FileDialogPurpose::Save);
    // The save dialog has already asked before an existing file is replaced.
    if (target &&
        !platform::CopyFile(TemporaryFile(), *target, platform::ExistingTarget::Overwrite)) {
        services_.errorLog.LogError(kCopyFailedMessage);
    }
}

std::string RecordingDlg::TemporaryFile() const {
    return services_.settings.Path + std::string(kTemporaryFileName);
}

}  // namespace porthold::ui
