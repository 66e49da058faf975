#pragma once

#include <QLabel>
#include <optional>
#include <string>
#include <string_view>

#include "audio/wave_player.h"
#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"
#include "ui/dialog_services.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui {

// A dialog's picture at `topLeft` (in pixels), at its own size in a sunken
// frame. Without the picture the frame stays empty at `emptySize`.
QLabel* CreatePictureFrame(QWidget* parent, widgets::BitmapId picture, QPoint topLeft,
                           QSize emptySize);

// Asks for a WAVE file in the sounds folder: an existing one to open, or a
// name to save under. Nothing when the user cancelled.
std::optional<std::string> ChooseSoundFile(const DialogServices& services,
                                           platform::FileDialogPurpose purpose);

// Plays a sound on the sound card for the user to hear, cutting off what the
// dialogs were playing; the sound can be cut off in turn. False when it could
// not be played.
bool PlayPreview(audio::WavePlayer& player, const std::string& fileName);

// Asks an OK/Cancel question before something is removed for good; true
// only for OK.
bool ConfirmDeletion(platform::MessageBoxes& messageBoxes, std::string_view question,
                     std::string_view caption);

// Whether every character is one of "0" to "9"; true for an empty text.
bool HoldsOnlyDigits(std::string_view text);

}  // namespace porthold::ui
