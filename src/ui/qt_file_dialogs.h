#pragma once

#include "platform/file_dialogs.h"

namespace porthold::ui {

// The desktop's file dialogs, over the window the user is working in.
class QtFileDialogs final : public platform::FileDialogs {
public:
    std::optional<std::string> ChooseFile(const platform::FileDialogRequest& request) override;
};

}  // namespace porthold::ui
