#include "store/list_file.h"

#include <cerrno>
#include <new>

#include "platform/files.h"

namespace porthold::store {

TextLine LineReader::ReadLine() {
    const std::size_t end = rest_.find('\n');
    if (end == std::string_view::npos) {
        TextLine last{std::string(rest_), false};
        rest_ = {};
        return last;
    }
    std::string_view text = rest_.substr(0, end);
    if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    rest_.remove_prefix(end + 1);
    return TextLine{std::string(text), true};
}

std::string StartListFile() {
    std::string contents;
    AppendLine(contents, kListFileWarning);
    AppendLine(contents, kListFileVersion);
    return contents;
}

void AppendLine(std::string& contents, std::string_view line) {
    contents.append(line);
    contents.append("\r\n");
}

bool WriteListFile(const std::string& path, std::string_view contents) noexcept {
    try {
        return platform::ReplaceFileContents(path, contents);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

}  // namespace porthold::store
