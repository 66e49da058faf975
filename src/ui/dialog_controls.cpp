#include "ui/dialog_controls.h"

#include <algorithm>

namespace porthold::ui {

QLabel* CreatePictureFrame(QWidget* parent, widgets::BitmapId picture, QPoint topLeft,
                           QSize emptySize) {
    auto* frame = new QLabel(parent);
    frame->setObjectName(QStringLiteral("picture"));
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(1);
    frame->setAlignment(Qt::AlignCenter);
    const widgets::PictureImages images = widgets::LoadBitmap(picture);
    // The densest copy the screen can use keeps the picture sharp.
    const qreal screenDensity = parent->devicePixelRatioF();
    const QImage* chosen = nullptr;
    for (const QImage& image : images) {
        if (chosen == nullptr || image.devicePixelRatio() <= screenDensity) {
            chosen = &image;
        }
    }
    if (chosen != nullptr) {
        frame->setPixmap(QPixmap::fromImage(*chosen));
        frame->adjustSize();
    } else {
        frame->resize(emptySize);
    }
    frame->move(topLeft);
    return frame;
}

std::optional<std::string> ChooseSoundFile(const DialogServices& services,
                                           platform::FileDialogPurpose purpose) {
    platform::FileDialogRequest request;
    request.purpose = purpose;
    request.startFolder = services.settings.soundsFolder;
    return services.fileDialogs.ChooseFile(request);
}

bool PlayPreview(audio::WavePlayer& player, const std::string& fileName) {
    player.InterruptWaveOut();
    return player.PlayWaveOut(fileName, platform::WAVE_MAPPER, audio::Interruptible::Yes);
}

bool ConfirmDeletion(platform::MessageBoxes& messageBoxes, std::string_view question,
                     std::string_view caption) {
    return messageBoxes.Show(question, caption, platform::MessageBoxButtons::OkCancel,
                             platform::MessageBoxIcon::Question) == platform::MessageBoxAnswer::Ok;
}

bool HoldsOnlyDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char character) { return character >= '0' && character <= '9'; });
}

}  // namespace porthold::ui
