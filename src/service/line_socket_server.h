#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "service/line_socket_session.h"
#include "service/simulated_modem_line.h"

namespace porthold::service {

// Lets porthold-phone call a simulated line from another process: listens on
// the line's local socket and plays the far end of the line for each
// connection, in the conversation of line_protocol.h. One thread serves all
// connections; a phone that dials while the line has a call is told BUSY.
//
// Nothing a connection sends can harm the line: a message it cannot take ends
// that connection, which counts as the caller hanging up.
class LineSocketServer {
public:
    // `line` and `clock` (the line's clock) must outlive the server.
    LineSocketServer(SimulatedModemLine& line, platform::Clock& clock, std::string socketPath);
    // Stops listening, hangs up on every connection and removes the socket.
    ~LineSocketServer();
    LineSocketServer(const LineSocketServer&) = delete;
    LineSocketServer& operator=(const LineSocketServer&) = delete;

    // Creates the socket and starts serving. The socket's folder is created
    // (mode 0700) when missing and must belong to the user and be writable by
    // no one else; a socket file left by an ended service is replaced, one
    // that a running service listens on is not. False, with the reason in
    // `problem`, when the line cannot listen.
    bool Start(std::string& problem);

    const std::string& SocketPath() const { return socketPath_; }

private:
    void Serve();
    void Accept();
    void Wake();

    SimulatedModemLine& line_;
    platform::Clock& clock_;
    std::string socketPath_;
    int listening_ = -1;
    int wakeEvent_ = -1;
    // The socket file as created, so that only it is removed at the end.
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    std::atomic<bool> stopping_{false};
    std::vector<std::unique_ptr<LineSocketSession>> sessions_;
    std::thread thread_;
};

}  // namespace porthold::service
