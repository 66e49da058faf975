#pragma once

#include <string>
#include <vector>

#include "telephony/status_line.h"

namespace porthold::testing {

// Keeps every status text set, in order, for tests to assert on.
class RecordingStatusLine final : public telephony::StatusLine {
public:
    void SetStatus(std::string_view text) override { texts.emplace_back(text); }

    // The text the user sees now ("Program Status" before anything is set).
    std::string Current() const { return texts.empty() ? "Program Status" : texts.back(); }

    std::vector<std::string> texts;
};

}  // namespace porthold::testing
