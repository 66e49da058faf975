#include "service/line_socket_session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <utility>

namespace porthold::service {
namespace {

// Reads thrown away per round from a connection that is being ended.
constexpr int kDiscardedReadsPerRound = 16;
// A phone that reads nothing while this much waits for it is given up on.
constexpr std::size_t kMaximumPendingOutput = 64u << 20;

}  // namespace

LineSocketSession::LineSocketSession(SimulatedModemLine& line, platform::Clock& clock, int socket,
                                     std::function<void()> wake)
    : line_(line), clock_(clock), socket_(socket), wake_(std::move(wake)) {
    Send("PORTHOLD-LINE " + std::string(kProtocolVersion) + " " + line_.Name());
}

LineSocketSession::~LineSocketSession() {
    line_.HangUp(this);
    if (holding_) {
        line_.HoldOtherCall(OtherCall::Released);
    }
    ::close(socket_);
}

void LineSocketSession::Answered(std::uint32_t tick) {
    Notify(Notice{Notice::Kind::Answered, tick});
}

void LineSocketSession::HungUpByLine(std::uint32_t tick) {
    Notify(Notice{Notice::Kind::HungUp, tick});
}

void LineSocketSession::Read() {
    char buffer[65536];
    if (closing_) {
        // Nothing more is taken from a connection that is being ended. A
        // peer that keeps writing gets a bounded share of each round, so the
        // other connections are still served.
        for (int round = 0; round < kDiscardedReadsPerRound; ++round) {
            if (::recv(socket_, buffer, sizeof(buffer), 0) <= 0) {
                break;
            }
        }
        return;
    }
    const ssize_t count = ::recv(socket_, buffer, sizeof(buffer), 0);
    if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) {
        finished_ = true;
        return;
    }
    if (count < 0) {
        return;
    }
    reader_.Append(std::string_view(buffer, static_cast<std::size_t>(count)));
    ProtocolMessage message;
    for (;;) {
        const MessageReader::Status status = reader_.Next(message);
        if (status == MessageReader::Status::Incomplete) {
            return;
        }
        if (status == MessageReader::Status::Malformed) {
            Refuse(reader_.Problem());
            return;
        }
        Handle(message);
        if (closing_) {
            return;
        }
    }
}

void LineSocketSession::Write() {
    while (!output_.empty()) {
        const ssize_t count = ::send(socket_, output_.data(), output_.size(), MSG_NOSIGNAL);
        if (count < 0) {
            if (errno != EAGAIN && errno != EINTR) {
                finished_ = true;
            }
            break;
        }
        output_.erase(0, static_cast<std::size_t>(count));
    }
    if (closing_ && output_.empty()) {
        finished_ = true;
    }
}

void LineSocketSession::Update() {
    for (const Notice& notice : TakeNotices()) {
        if (!inCall_) {
            continue;
        }
        if (notice.kind == Notice::Kind::Answered) {
            heard_.emplace(line_.VoiceChannel(), notice.tick);
            Send("ANSWERED");
        } else {
            EndCall(notice.tick);
            Send("HUNGUP");
        }
    }
    if (heard_) {
        SendHeard(heard_->Collect(clock_.TickCount()));
    }
    if (output_.size() > kMaximumPendingOutput) {
        finished_ = true;
    }
}

void LineSocketSession::Notify(const Notice& notice) {
    {
        const std::lock_guard lock(noticesMutex_);
        notices_.push_back(notice);
    }
    wake_();
}

std::deque<LineSocketSession::Notice> LineSocketSession::TakeNotices() {
    const std::lock_guard lock(noticesMutex_);
    return std::exchange(notices_, {});
}

void LineSocketSession::Send(std::string_view line, std::string_view payload) {
    output_.append(EncodeMessage(line, payload));
}

void LineSocketSession::Refuse(const std::string& problem) {
    Send("ERROR " + problem);
    closing_ = true;
}

void LineSocketSession::SendHeard(const std::vector<HeardChunk>& chunks) {
    // Pieces of a minute at most, well within what a message may carry.
    constexpr std::size_t kPieceSamples = 8000 * 60;
    for (const HeardChunk& chunk : chunks) {
        for (std::size_t first = 0; first < chunk.samples.size(); first += kPieceSamples) {
            const std::size_t count = std::min(kPieceSamples, chunk.samples.size() - first);
            const std::string payload = SamplesToPayload(
                std::span<const std::int16_t>(chunk.samples).subspan(first, count));
            Send("HEARD " + std::to_string(chunk.firstSample + first) + " " +
                     std::to_string(payload.size()),
                 payload);
        }
    }
}

void LineSocketSession::EndCall(std::uint32_t tick) {
    if (heard_) {
        SendHeard(heard_->Collect(tick));
        heard_.reset();
    }
    inCall_ = false;
}

void LineSocketSession::Handle(const ProtocolMessage& message) {
    const std::string& command = message.command;
    const std::size_t arguments = message.arguments.size();
    if (command == "DIAL" && arguments == 0) {
        Dial();
    } else if (command == "RING" && arguments == 0) {
        line_.Ring(this);
    } else if (command == "KEY" && arguments == 2) {
        PressKey(message.arguments[0], message.arguments[1]);
    } else if (command == "SAY" && arguments == 1) {
        if (message.payload.size() % 2 != 0) {
            Refuse("speech must be whole 16-bit samples");
            return;
        }
        line_.Speak(PayloadToSamples(message.payload), this);
    } else if (command == "HANGUP" && arguments == 0) {
        if (inCall_) {
            line_.HangUp(this);
            EndCall(clock_.TickCount());
        }
        // Whatever the line said about the call before it heard the
        // hang-up is of no interest now.
        TakeNotices();
        Send("ENDED");
    } else if (command == "HOLD" && arguments == 0) {
        holding_ = holding_ || (!inCall_ && line_.HoldOtherCall(OtherCall::Held));
        Send(holding_ ? "HELD" : "BUSY");
    } else if (command == "RELEASE" && arguments == 0) {
        if (std::exchange(holding_, false)) {
            line_.HoldOtherCall(OtherCall::Released);
        }
        Send("RELEASED");
    } else {
        Refuse("unknown message " + command);
    }
}

void LineSocketSession::Dial() {
    if (inCall_ || holding_) {
        Refuse("already calling");
        return;
    }
    TakeNotices();
    if (line_.Dial(this) == DialResult::Busy) {
        Send("BUSY");
        return;
    }
    inCall_ = true;
    Send("OFFERED");
}

void LineSocketSession::PressKey(const std::string& key, const std::string& mode) {
    if (key.size() != 1 || (mode != "DTMF" && mode != "PULSE")) {
        Refuse("bad key");
        return;
    }
    line_.PressKey(key[0], mode == "DTMF" ? KeyMode::Dtmf : KeyMode::Pulse, this);
}

}  // namespace porthold::service
