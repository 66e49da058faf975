#include "service/line_socket_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/private_folder.h"
#include "service/line_socket_session.h"

namespace porthold::service {
namespace {

constexpr std::size_t kMaximumSessions = 8;
// How often what the caller hears is sent on while a call is answered.
constexpr int kHeardIntervalMilliseconds = 20;
// How long the server waits before it tries again after the system refused
// it descriptors or memory: long enough not to spin, short enough that a
// phone hardly notices.
constexpr std::uint32_t kBackOffMilliseconds = 100;

std::string Folder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ErrorText() {
    return std::strerror(errno);
}

// strerror may share its buffer between threads; this does not.
std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

// Failures of accept that concern one connection only, or none: the next
// connection is taken as usual.
bool IsPassingAcceptFailure(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNABORTED ||
           error == EPROTO || error == EPERM;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Removes a socket file an ended service left behind. A live service keeps
// its socket, and a file that is not a socket is never touched.
bool ClearStaleSocket(const std::string& path, std::string& problem) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return true;
    }
    if (!S_ISSOCK(status.st_mode)) {
        problem = path + " exists and is not a socket";
        return false;
    }
    sockaddr_un address{};
    FillAddress(path, address);
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address),
                                              sizeof(address)) == 0;
    if (probe >= 0) {
        ::close(probe);
    }
    if (live) {
        problem = "another line service is listening on " + path;
        return false;
    }
    ::unlink(path.c_str());
    return true;
}

}  // namespace

LineSocketServer::LineSocketServer(SimulatedModemLine& line, platform::Clock& clock,
                                   std::string socketPath, std::ostream& log, uid_t acceptedUser)
    : line_(line),
      clock_(clock),
      socketPath_(std::move(socketPath)),
      log_(log),
      acceptedUser_(acceptedUser) {}

LineSocketServer::~LineSocketServer() {
    if (thread_.joinable()) {
        stopping_ = true;
        Wake();
        thread_.join();
    }
    sessions_.clear();
    if (listening_ >= 0) {
        ::close(listening_);
        struct stat status {};
        if (::lstat(socketPath_.c_str(), &status) == 0 && status.st_dev == socketDevice_ &&
            status.st_ino == socketInode_) {
            ::unlink(socketPath_.c_str());
        }
    }
    if (wakeEvent_ >= 0) {
        ::close(wakeEvent_);
    }
}

bool LineSocketServer::Start(std::string& problem) {
    sockaddr_un address{};
    if (!FillAddress(socketPath_, address)) {
        problem = "the socket path " + socketPath_ + " is too long";
        return false;
    }
    if (!platform::PreparePrivateFolder(Folder(socketPath_), problem) ||
        !ClearStaleSocket(socketPath_, problem)) {
        return false;
    }
    listening_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listening_ < 0 ||
        ::bind(listening_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        problem = "cannot create the socket " + socketPath_ + ": " + ErrorText();
        if (listening_ >= 0) {
            ::close(listening_);
            listening_ = -1;
        }
        return false;
    }
    struct stat status {};
    ::lstat(socketPath_.c_str(), &status);
    socketDevice_ = status.st_dev;
    socketInode_ = status.st_ino;
    // The folder already keeps others out; the socket itself is the user's alone too.
    ::chmod(socketPath_.c_str(), 0600);
    wakeEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (::listen(listening_, 8) != 0 || wakeEvent_ < 0) {
        problem = "cannot listen on " + socketPath_ + ": " + ErrorText();
        return false;
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void LineSocketServer::Log(const std::string& text) {
    // One write for the whole line, so that lines of several threads do not
    // mix on a shared stream.
    log_ << ("porthold line service: line " + line_.Name() + ": " + text + "\n") << std::flush;
}

void LineSocketServer::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeEvent_, &one, sizeof(one));
}

void LineSocketServer::TakeWakeEvent() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(wakeEvent_, &count, sizeof(count));
}

bool LineSocketServer::IsFromAcceptedUser(int socket) {
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof(peer)) {
        Log("refused a connection on " + socketPath_ + ": its user cannot be told (" +
            ErrorText(errno) + ")");
        return false;
    }
    if (peer.uid != acceptedUser_) {
        Log("refused a connection on " + socketPath_ + " from user " + std::to_string(peer.uid) +
            " (process " + std::to_string(peer.pid) + ")");
        return false;
    }
    return true;
}

void LineSocketServer::PauseAccepting(int error) {
    acceptFailedAt_ = clock_.TickCount();
    if (!std::exchange(acceptFailing_, true)) {
        Log("cannot accept connections on " + socketPath_ + " (" + ErrorText(error) +
            "); trying again every " + std::to_string(kBackOffMilliseconds) + " ms");
    }
}

void LineSocketServer::Accept() {
    const int socket = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (socket < 0) {
        const int error = errno;
        // Out of descriptors or memory, the connection stays queued and the
        // socket stays readable: trying again at once would spin.
        if (!IsPassingAcceptFailure(error)) {
            PauseAccepting(error);
        }
        return;
    }
    if (std::exchange(acceptFailing_, false)) {
        Log("accepting connections on " + socketPath_ + " again");
    }
    if (sessions_.size() >= kMaximumSessions || !IsFromAcceptedUser(socket)) {
        ::close(socket);
        return;
    }
    sessions_.push_back(
        std::make_unique<LineSocketSession>(line_, clock_, socket, [this] { Wake(); }));
}

void LineSocketServer::BackOffAfterPollFailure(int error) {
    if (!std::exchange(pollFailing_, true)) {
        Log("cannot wait for connections on " + socketPath_ + " (" + ErrorText(error) +
            "); trying again every " + std::to_string(kBackOffMilliseconds) + " ms");
    }
    // Waits on the wake event alone, so that stopping is not held up; should
    // even that fail, the clock waits instead.
    pollfd wake{wakeEvent_, POLLIN, 0};
    const int ready = ::poll(&wake, 1, static_cast<int>(kBackOffMilliseconds));
    if (ready < 0 && errno != EINTR) {
        clock_.Sleep(kBackOffMilliseconds);
    } else if (ready > 0) {
        TakeWakeEvent();
    }
}

int LineSocketServer::Watch(std::vector<pollfd>& watched) {
    int timeout = -1;
    bool accepting = true;
    if (acceptFailing_) {
        const std::uint32_t waited = clock_.TickCount() - acceptFailedAt_;
        accepting = waited >= kBackOffMilliseconds;
        timeout = accepting ? -1 : static_cast<int>(kBackOffMilliseconds - waited);
    }
    // poll leaves out a negative descriptor: the listening socket, while the
    // server backs off.
    watched.assign({pollfd{wakeEvent_, POLLIN, 0}, pollfd{accepting ? listening_ : -1, POLLIN, 0}});
    for (const auto& session : sessions_) {
        const short events = session->WantsToWrite() ? POLLIN | POLLOUT : POLLIN;
        watched.push_back(pollfd{session->Socket(), events, 0});
        if (session->IsStreaming()) {
            timeout = timeout < 0 ? kHeardIntervalMilliseconds
                                  : std::min(timeout, kHeardIntervalMilliseconds);
        }
    }
    return timeout;
}

void LineSocketServer::Serve() {
    std::vector<pollfd> watched;
    while (!stopping_) {
        const int timeout = Watch(watched);
        if (::poll(watched.data(), watched.size(), timeout) < 0) {
            if (errno != EINTR) {
                BackOffAfterPollFailure(errno);
            }
            continue;
        }
        if (std::exchange(pollFailing_, false)) {
            Log("waiting for connections on " + socketPath_ + " works again");
        }
        if ((watched[0].revents & POLLIN) != 0) {
            TakeWakeEvent();
        }
        // Sessions accepted now are served from the next round on.
        const std::size_t served = sessions_.size();
        if ((watched[1].revents & POLLIN) != 0) {
            Accept();
        }
        for (std::size_t index = 0; index < served; ++index) {
            LineSocketSession& session = *sessions_[index];
            const short events = watched[index + 2].revents;
            if ((events & (POLLIN | POLLHUP | POLLERR)) != 0) {
                session.Read();
            }
            session.Update();
            session.Write();
        }
        std::erase_if(sessions_, [](const auto& session) { return session->IsFinished(); });
    }
}

}  // namespace porthold::service
