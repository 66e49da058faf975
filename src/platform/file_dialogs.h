#pragma once

#include <optional>
#include <string>

namespace porthold::platform {

enum class FileDialogPurpose {
    // Only an existing file in an existing folder can be chosen.
    Open,
    // The user is asked before an existing file is replaced.
    Save,
};

// What a file dialog asks for. The program only ever picks WAVE files.
struct FileDialogRequest {
    FileDialogPurpose purpose = FileDialogPurpose::Open;
    // Where the dialog starts; ends in "/".
    std::string startFolder;
    // A description followed by the pattern in brackets.
    std::string filter = "Wave (*.wav)";
    // Added to a name typed without one when saving.
    std::string defaultExtension = "wav";
};

// Lets the user choose a file. The desktop application shows the desktop's
// dialogs; tests answer them in advance.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The full path of the chosen file; nothing when the user cancelled.
    virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
};

}  // namespace porthold::platform
