#include "line_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace porthold::phone {
namespace {

// How long a line may take to greet.
constexpr int kGreetingMilliseconds = 5000;

}  // namespace

LineConnection::~LineConnection() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

bool LineConnection::Connect(const std::string& socketPath, std::string& problem) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(address.sun_path)) {
        problem = "the socket path is too long";
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    socket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0 ||
        ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        problem = std::strerror(errno);
        return false;
    }
    service::ProtocolMessage greeting;
    if (Next(greeting, kGreetingMilliseconds) != Result::Message ||
        greeting.command != service::kGreeting || greeting.arguments.size() != 2 ||
        greeting.arguments[0] != service::kProtocolVersion) {
        problem = "what listens there is not a Porthold line";
        return false;
    }
    lineName_ = greeting.arguments[1];
    return true;
}

bool LineConnection::Send(std::string_view line, std::string_view payload) {
    const std::string message = service::EncodeMessage(line, payload);
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t count =
            ::send(socket_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

LineConnection::Result LineConnection::Next(service::ProtocolMessage& message,
                                            int timeoutMilliseconds) {
    const std::uint32_t start = clock_.TickCount();
    for (;;) {
        switch (reader_.Next(message)) {
            case service::MessageReader::Status::Complete:
                return Result::Message;
            case service::MessageReader::Status::Malformed:
                return Result::Closed;
            case service::MessageReader::Status::Incomplete:
                break;
        }
        int wait = -1;
        if (timeoutMilliseconds >= 0) {
            const std::uint32_t waited = clock_.TickCount() - start;
            if (waited >= static_cast<std::uint32_t>(timeoutMilliseconds)) {
                return Result::TimedOut;
            }
            wait = timeoutMilliseconds - static_cast<int>(waited);
        }
        pollfd watched{socket_, POLLIN, 0};
        const int ready = ::poll(&watched, 1, wait);
        if (ready < 0 && errno != EINTR) {
            return Result::Closed;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[65536];
        const ssize_t count = ::recv(socket_, buffer, sizeof(buffer), 0);
        if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
            return Result::Closed;
        }
        if (count > 0) {
            reader_.Append(std::string_view(buffer, static_cast<std::size_t>(count)));
        }
    }
}

}  // namespace porthold::phone
