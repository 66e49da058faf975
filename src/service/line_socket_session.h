#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "service/heard_audio.h"
#include "service/line_protocol.h"
#include "service/simulated_modem_line.h"

namespace porthold::service {

// One connection to a simulated line's socket: a phone playing the line's far
// end. It takes the phone's messages and acts on the line, and tells the
// phone what the line does, streaming what the caller hears while the call
// is answered. It lives on the socket's thread; only the line's notices
// (Answered, HungUpByLine) come from other threads, and `wake` is called then
// so that the thread looks at it.
class LineSocketSession final : public CallerEnd {
public:
    // Takes over the connected, non-blocking `socket`.
    LineSocketSession(SimulatedModemLine& line, platform::Clock& clock, int socket,
                      std::function<void()> wake);
    // The caller is gone: its call ends, its hold on the line too.
    ~LineSocketSession() override;
    LineSocketSession(const LineSocketSession&) = delete;
    LineSocketSession& operator=(const LineSocketSession&) = delete;

    void Answered(std::uint32_t tick) override;
    void HungUpByLine(std::uint32_t tick) override;

    int Socket() const { return socket_; }
    bool WantsToWrite() const { return !output_.empty(); }
    bool IsStreaming() const { return heard_.has_value(); }
    // The connection has ended, or is to be ended.
    bool IsFinished() const { return finished_; }

    // Takes what the phone sent and acts on it.
    void Read();
    // Sends what waits to be sent, as far as the connection takes it.
    void Write();
    // Acts on the line's notices and sends on what the caller heard.
    void Update();

private:
    struct Notice {
        enum class Kind { Answered, HungUp };
        Kind kind;
        std::uint32_t tick;
    };

    void Notify(const Notice& notice);
    std::deque<Notice> TakeNotices();
    void Send(std::string_view line, std::string_view payload = {});
    void Refuse(const std::string& problem);
    void SendHeard(const std::vector<HeardChunk>& chunks);
    void EndCall(std::uint32_t tick);
    void Handle(const ProtocolMessage& message);
    void Dial();
    void PressKey(const std::string& key, const std::string& mode);

    SimulatedModemLine& line_;
    platform::Clock& clock_;
    int socket_;
    std::function<void()> wake_;
    MessageReader reader_;
    std::string output_;
    bool inCall_ = false;
    bool holding_ = false;
    // After an error: the connection ends once the error is sent.
    bool closing_ = false;
    bool finished_ = false;
    std::optional<HeardAudio> heard_;
    std::mutex noticesMutex_;
    std::deque<Notice> notices_;
};

}  // namespace porthold::service
