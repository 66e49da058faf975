#include "app/qt_message_filter.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "app/display_check.h"

namespace porthold::app {

namespace {

constexpr std::size_t kKeptPlatformMessages = 4;
constexpr std::size_t kLongestKeptMessage = 300;
constexpr std::string_view kPlatformCategory = "qt.qpa";
constexpr std::string_view kNoPlatformFatal = "no Qt platform plugin could be initialized";

// The last messages of Qt's platform layer, which say why no window system
// could be opened. Messages may come from any thread, hence the lock.
struct PlatformMessages {
    std::mutex lock;
    std::array<std::string, kKeptPlatformMessages> lines;
    std::size_t next = 0;
};

PlatformMessages& KeptPlatformMessages() {
    static PlatformMessages messages;
    return messages;
}

void KeepPlatformMessage(std::string_view category, const QString& text) {
    std::string line(category);
    line += ": ";
    line += text.toLocal8Bit().left(kLongestKeptMessage).constData();
    PlatformMessages& messages = KeptPlatformMessages();
    const std::lock_guard guard(messages.lock);
    messages.lines[messages.next % kKeptPlatformMessages] = std::move(line);
    ++messages.next;
}

[[noreturn]] void EndWithoutWindowSystem() {
    PlatformMessages& messages = KeptPlatformMessages();
    {
        const std::lock_guard guard(messages.lock);
        const std::size_t first =
            messages.next > kKeptPlatformMessages ? messages.next - kKeptPlatformMessages : 0;
        for (std::size_t index = first; index < messages.next; ++index) {
            std::fprintf(stderr, "%s\n", messages.lines[index % kKeptPlatformMessages].c_str());
        }
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(kNoDisplayText.size()), kNoDisplayText.data());
    // Inside the application object's construction nothing is worth tidying
    // up; an abort would only add a core file.
    std::_Exit(1);
}

void FilterQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const std::string_view category = context.category != nullptr ? context.category : "";
    if (type != QtFatalMsg) {
        if (category.starts_with(kPlatformCategory)) {
            KeepPlatformMessage(category, text);
        }
        return;
    }
    const QByteArray fatal = text.toLocal8Bit();
    if (std::string_view(fatal.constData()).find(kNoPlatformFatal) != std::string_view::npos) {
        EndWithoutWindowSystem();
    }
    std::fprintf(stderr, "%s\n", fatal.constData());
}

}  // namespace

void SilenceQtMessages() {
    qInstallMessageHandler(FilterQtMessage);
}

}  // namespace porthold::app
