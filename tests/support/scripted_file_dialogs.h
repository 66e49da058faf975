#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_dialogs.h"

namespace porthold::testing {

// File dialogs answered in advance: each queued answer is a chosen path, or
// nothing for a cancelled dialog. Records every request; a dialog for which
// no answer was queued fails the test and is cancelled.
class ScriptedFileDialogs final : public platform::FileDialogs {
public:
    void QueueAnswer(std::optional<std::string> path) { answers_.push_back(std::move(path)); }

    std::optional<std::string> ChooseFile(const platform::FileDialogRequest& request) override {
        requests_.push_back(request);
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected file dialog starting in " << request.startFolder;
            return std::nullopt;
        }
        std::optional<std::string> answer = std::move(answers_.front());
        answers_.pop_front();
        return answer;
    }

    const std::vector<platform::FileDialogRequest>& requests() const { return requests_; }

private:
    std::deque<std::optional<std::string>> answers_;
    std::vector<platform::FileDialogRequest> requests_;
};

}  // namespace porthold::testing
