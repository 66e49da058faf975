#pragma once

#include <poll.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <iostream>
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
// that connection, which counts as the caller hanging up. Only the user's own
// processes are served: the socket's folder keeps others out, and each
// connection's peer is checked as well.
//
// Trouble while serving is written to the log: each connection refused, and a
// line when the system runs out of descriptors or memory, and one when that is
// over. Meanwhile the server keeps serving its connections and, rather than
// spin, waits a moment before it tries again.
class LineSocketServer {
public:
    // `line`, `clock` (the line's clock) and `log` must outlive the server.
    // Connections are taken from processes of `acceptedUser` only.
    LineSocketServer(SimulatedModemLine& line, platform::Clock& clock, std::string socketPath,
                     std::ostream& log = std::cerr, uid_t acceptedUser = ::getuid());
    // Stops listening, hangs up on every connection and removes the socket.
    ~LineSocketServer();
    LineSocketServer(const LineSocketServer&) = delete;
    LineSocketServer& operator=(const LineSocketServer&) = delete;

    // Creates the socket and starts serving. The socket's folder is created
    // when missing and must be private (platform/private_folder.h); a socket
    // file left by an ended service is replaced, one that a running service
    // listens on is not. False, with the reason in `problem`, when the line
    // cannot listen.
    bool Start(std::string& problem);

    const std::string& SocketPath() const { return socketPath_; }

private:
    void Serve();
    // What poll watches this round, and how long it may wait.
    int Watch(std::vector<pollfd>& watched);
    void BackOffAfterPollFailure(int error);
    void Accept();
    void PauseAccepting(int error);
    bool IsFromAcceptedUser(int socket);
    void Log(const std::string& text);
    void Wake();
    void TakeWakeEvent();

    SimulatedModemLine& line_;
    platform::Clock& clock_;
    std::string socketPath_;
    std::ostream& log_;
    uid_t acceptedUser_;
    // A spell of failed accepts: no connection is taken until the back-off
    // since the last failure has passed.
    bool acceptFailing_ = false;
    std::uint32_t acceptFailedAt_ = 0;
    bool pollFailing_ = false;
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
