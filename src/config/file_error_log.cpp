#include "config/file_error_log.h"

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/local_time.h"

namespace porthold::config {

namespace {

constexpr std::string_view kLogFileName = "error.log";
constexpr std::string_view kTemporaryLogFileName = "temp.log";
constexpr std::size_t kKeptLines = 199;
constexpr std::string_view kLineEnd = "\r\n";

// The message with every bare LF made a CR LF, so that the file keeps one
// line-end form even when a caller's text spans lines.
std::string WithLineEnds(std::string_view message) {
    std::string text;
    text.reserve(message.size());
    for (std::size_t index = 0; index < message.size(); ++index) {
        if (message[index] == '\n' && (index == 0 || message[index - 1] != '\r')) {
            text += '\r';
        }
        text += message[index];
    }
    return text;
}

// The file's lines, each with its line end as found; only the last may lack one.
std::vector<std::string_view> SplitLines(std::string_view contents) {
    std::vector<std::string_view> lines;
    while (!contents.empty()) {
        const std::size_t end = contents.find('\n');
        const std::size_t length = end == std::string_view::npos ? contents.size() : end + 1;
        lines.push_back(contents.substr(0, length));
        contents.remove_prefix(length);
    }
    return lines;
}

}  // namespace

FileErrorLog::FileErrorLog(const Settings& settings, const platform::Clock& clock,
                           std::FILE* fallback)
    : settings_(settings), clock_(clock), fallback_(fallback) {}

void FileErrorLog::LogError(std::string_view message) {
    std::string line = platform::FormatDateTime(clock_.Now());
    line += ' ';
    line += WithLineEnds(message);
    line += kLineEnd;
    if (!platform::AppendToFile(settings_.Path + std::string(kLogFileName), line) &&
        fallback_ != nullptr) {
        std::fwrite(line.data(), 1, line.size(), fallback_);
        std::fflush(fallback_);
    }
}

void FileErrorLog::TrimErrorLog() {
    const std::string logPath = settings_.Path + std::string(kLogFileName);
    const auto contents = platform::ReadFileContents(logPath);
    if (!contents) {
        return;
    }
    const std::vector<std::string_view> lines = SplitLines(*contents);
    // A log of exactly 199 lines is rewritten unchanged; only fewer are skipped.
    if (lines.size() < kKeptLines) {
        return;
    }

    std::string kept;
    for (auto line = lines.end() - kKeptLines; line != lines.end(); ++line) {
        kept += *line;
    }
    // A last line cut short (the program stopped while writing it) is kept,
    // and ended, so that the next entry starts a line of its own.
    if (kept.back() != '\n') {
        kept += kept.back() == '\r' ? "\n" : kLineEnd;
    }

    // The shortened log is written in full to "temp.log" and flushed before it
    // replaces "error.log" in one rename, so a failure at any point leaves the
    // old log whole and no "temp.log" behind.
    const std::string temporaryPath = settings_.Path + std::string(kTemporaryLogFileName);
    if (!platform::ReplaceFileContents(temporaryPath, kept) ||
        !platform::RenameFile(temporaryPath, logPath)) {
        platform::DeleteFile(temporaryPath);
    }
}

}  // namespace porthold::config
