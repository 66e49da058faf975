#include "service/line_socket_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "service/line_socket_session.h"

namespace porthold::service {
namespace {

constexpr std::size_t kMaximumSessions = 8;
// How often what the caller hears is sent on while a call is answered.
constexpr int kHeardIntervalMilliseconds = 20;

std::string Folder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ErrorText() {
    return std::strerror(errno);
}

// Creates the folder (mode 0700) when missing, and checks that no one else
// can place or replace files in it.
bool PrepareFolder(const std::string& folder, std::string& problem) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = "cannot create " + folder + ": " + ErrorText();
        return false;
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        problem = folder + " is not a folder";
        return false;
    }
    if (status.st_uid != ::getuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        problem = folder + " must belong to you and be writable by no one else";
        return false;
    }
    return true;
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
                                   std::string socketPath)
    : line_(line), clock_(clock), socketPath_(std::move(socketPath)) {}

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
    if (!PrepareFolder(Folder(socketPath_), problem) || !ClearStaleSocket(socketPath_, problem)) {
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

void LineSocketServer::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeEvent_, &one, sizeof(one));
}

void LineSocketServer::Accept() {
    const int socket = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (socket < 0) {
        return;
    }
    if (sessions_.size() >= kMaximumSessions) {
        ::close(socket);
        return;
    }
    sessions_.push_back(
        std::make_unique<LineSocketSession>(line_, clock_, socket, [this] { Wake(); }));
}

void LineSocketServer::Serve() {
    std::vector<pollfd> watched;
    while (!stopping_) {
        bool streaming = false;
        watched.assign({pollfd{wakeEvent_, POLLIN, 0}, pollfd{listening_, POLLIN, 0}});
        for (const auto& session : sessions_) {
            const short events = session->WantsToWrite() ? POLLIN | POLLOUT : POLLIN;
            watched.push_back(pollfd{session->Socket(), events, 0});
            streaming = streaming || session->IsStreaming();
        }
        if (::poll(watched.data(), watched.size(), streaming ? kHeardIntervalMilliseconds : -1) <
                0 &&
            errno != EINTR) {
            break;
        }
        if ((watched[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t read = ::read(wakeEvent_, &count, sizeof(count));
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
