#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "service/line_protocol.h"

namespace porthold::phone {

// porthold-phone's end of a simulated line's socket.
class LineConnection {
public:
    // Time-outs are measured on `clock`.
    explicit LineConnection(platform::Clock& clock) : clock_(clock) {}
    ~LineConnection();
    LineConnection(const LineConnection&) = delete;
    LineConnection& operator=(const LineConnection&) = delete;

    // Connects and takes the line's greeting; false, with the reason in
    // `problem`, when no line answers there.
    bool Connect(const std::string& socketPath, std::string& problem);

    // False when the line has gone away.
    bool Send(std::string_view line, std::string_view payload = {});

    enum class Result { Message, TimedOut, Closed };
    // The next message, waiting at most `timeoutMilliseconds` (-1: as long
    // as it takes). Closed when the line went away or sent what cannot be read.
    Result Next(service::ProtocolMessage& message, int timeoutMilliseconds);

    const std::string& LineName() const { return lineName_; }

private:
    platform::Clock& clock_;
    int socket_ = -1;
    service::MessageReader reader_;
    std::string lineName_;
};

}  // namespace porthold::phone
