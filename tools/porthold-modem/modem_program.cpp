#include "modem_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/system_clock.h"
#include "pseudo_terminal.h"
#include "service/line_socket_server.h"

namespace porthold::modem_emulator {
namespace {

// What waits for the computer when it does not read: a second of recorded
// audio and then some. More is dropped.
constexpr std::size_t kMostPendingOutput = 64 * 1024;
constexpr std::size_t kReadSize = 4096;

// The emulator's bytes for the computer, queued for the loop that writes them
// to the terminal; Send may come from the line socket's thread too, so it
// wakes the loop.
class TerminalComputer final : public ModemEmulator::Computer {
public:
    TerminalComputer(int wakeEvent, std::ostream& errors)
        : wakeEvent_(wakeEvent), errors_(errors) {}

    void Send(std::string_view bytes) override {
        {
            const std::lock_guard lock(mutex_);
            if (pending_.size() + bytes.size() > kMostPendingOutput) {
                if (!overflowing_) {
                    errors_ << "porthold-modem: the computer does not read the modem; output "
                               "is dropped\n";
                }
                overflowing_ = true;
                return;
            }
            overflowing_ = false;
            pending_.append(bytes);
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeEvent_, &one, sizeof(one));
    }

    // Writes what waits, as far as the terminal takes it; whether some waits.
    bool WriteTo(int terminal) {
        const std::lock_guard lock(mutex_);
        while (!pending_.empty()) {
            const ssize_t written = ::write(terminal, pending_.data(), pending_.size());
            if (written <= 0) {
                break;
            }
            pending_.erase(0, static_cast<std::size_t>(written));
        }
        return !pending_.empty();
    }

private:
    int wakeEvent_;
    std::ostream& errors_;
    std::mutex mutex_;
    std::string pending_;
    bool overflowing_ = false;
};

// A file descriptor closed when it goes.
struct Descriptor {
    explicit Descriptor(int value) : fd(value) {}
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

// A link to the terminal, removed at the end if it still points there.
class TerminalLink {
public:
    TerminalLink(std::string path, std::string target)
        : path_(std::move(path)), target_(std::move(target)) {}
    ~TerminalLink() {
        if (made_) {
            std::array<char, 256> pointsTo{};
            const ssize_t length = ::readlink(path_.c_str(), pointsTo.data(), pointsTo.size() - 1);
            if (length > 0 && std::string(pointsTo.data(), length) == target_) {
                ::unlink(path_.c_str());
            }
        }
    }
    TerminalLink(const TerminalLink&) = delete;
    TerminalLink& operator=(const TerminalLink&) = delete;

    // A link left by an earlier run is replaced; any other file is not.
    bool Make(std::string& problem) {
        struct stat status {};
        if (::lstat(path_.c_str(), &status) == 0) {
            if (!S_ISLNK(status.st_mode)) {
                problem = path_ + " exists and is not a link";
                return false;
            }
            ::unlink(path_.c_str());
        }
        if (::symlink(target_.c_str(), path_.c_str()) != 0) {
            problem = "cannot make the link " + path_ + ": " + std::strerror(errno);
            return false;
        }
        made_ = true;
        return true;
    }

private:
    std::string path_;
    std::string target_;
    bool made_ = false;
};

// The write end of the pipe through which a stop signal wakes the loop; an
// atomic int, so that the handler may read it.
std::atomic<int> stopSignalPipe{-1};

void OnStopSignal(int /*signalNumber*/) {
    const int savedError = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopSignalPipe.load(), &byte, 1);
    errno = savedError;
}

// SIGINT and SIGTERM end the loop rather than the process, whichever thread
// they reach: a handler hands them to a pipe the loop watches. A shell starts
// a background program with SIGINT ignored; the handler replaces that too, so
// that a script can stop the modem either way.
class StopSignals {
public:
    StopSignals() = default;
    // The handler stays: a signal that comes late then does nothing, rather
    // than kill the program while it cleans up.
    ~StopSignals() {
        stopSignalPipe = -1;
        for (const int end : ends_) {
            if (end >= 0) {
                ::close(end);
            }
        }
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Install(std::string& problem) {
        if (::pipe2(ends_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            problem = std::string("no pipe for the signals: ") + std::strerror(errno);
            return false;
        }
        stopSignalPipe = ends_[1];
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        action.sa_flags = SA_RESTART;
        ::sigemptyset(&action.sa_mask);
        for (const int signalNumber : {SIGINT, SIGTERM}) {
            if (::sigaction(signalNumber, &action, nullptr) != 0) {
                problem = std::string("cannot catch signals: ") + std::strerror(errno);
                return false;
            }
        }
        return true;
    }

    // Readable once a stop signal has come.
    int Descriptor() const { return ends_[0]; }

private:
    std::array<int, 2> ends_{-1, -1};
};

void Drain(int descriptor) {
    std::array<char, 64> ignored{};
    while (::read(descriptor, ignored.data(), ignored.size()) > 0) {
    }
}

// Serves the terminal until a signal comes.
void Serve(ModemEmulator& emulator, TerminalComputer& computer, int terminal, int signals,
           int wakeEvent, std::ostream& errors) {
    std::array<char, kReadSize> buffer{};
    for (;;) {
        const bool waiting = computer.WriteTo(terminal);
        const std::optional<std::uint32_t> work = emulator.MillisecondsUntilWork();
        std::array<pollfd, 3> watched{{
            {terminal, static_cast<short>(POLLIN | (waiting ? POLLOUT : 0)), 0},
            {signals, POLLIN, 0},
            {wakeEvent, POLLIN, 0},
        }};
        const int timeout = work ? static_cast<int>(*work) : -1;
        if (::poll(watched.data(), watched.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            errors << "porthold-modem: poll failed: " << std::strerror(errno) << '\n';
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        if (watched[2].revents != 0) {
            Drain(wakeEvent);
        }
        if (watched[0].revents & POLLIN) {
            const ssize_t count = ::read(terminal, buffer.data(), buffer.size());
            if (count > 0) {
                emulator.Receive(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
            }
        }
        emulator.Update();
    }
}

}  // namespace

int RunModemProgram(const EmulatorOptions& options, std::ostream& out, std::ostream& errors) {
    std::string problem;
    StopSignals stopSignals;
    const Descriptor wakeEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stopSignals.Install(problem) || wakeEvent.fd < 0) {
        errors << "porthold-modem: " << (problem.empty() ? std::strerror(errno) : problem) << '\n';
        return 1;
    }
    PseudoTerminal terminal;
    if (!terminal.Open(problem)) {
        errors << "porthold-modem: " << problem << '\n';
        return 1;
    }
    TerminalLink link(options.linkPath, terminal.Path());
    if (!options.linkPath.empty() && !link.Make(problem)) {
        errors << "porthold-modem: " << problem << '\n';
        return 1;
    }
    platform::SystemClock clock;
    service::SimulatedModemLine line(clock, "modem", 0, 1);
    TerminalComputer computer(wakeEvent.fd, errors);
    ModemEmulator emulator(clock, line, options.quirks, computer, options.callerId, errors);
    if (options.stopAnsweringAfter) {
        emulator.StopAnsweringAfter(*options.stopAnsweringAfter);
    }
    // Made last, so that it goes first: no caller reaches the modem after.
    service::LineSocketServer server(line, clock, options.socketPath, errors);
    if (!server.Start(problem)) {
        errors << "porthold-modem: " << problem << '\n';
        return 1;
    }
    out << "porthold-modem: modem on " << terminal.Path() << ", line socket " << options.socketPath
        << std::endl;
    Serve(emulator, computer, terminal.Master(), stopSignals.Descriptor(), wakeEvent.fd, errors);
    return 0;
}

}  // namespace porthold::modem_emulator
