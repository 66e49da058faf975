#include "phone_call.h"

#include <algorithm>
#include <chrono>
#include <iomanip>
#include <string>
#include <vector>

#include "audio/wave_layout.h"
#include "line_connection.h"

namespace porthold::phone {
namespace {

using service::ProtocolMessage;
using Result = LineConnection::Result;

constexpr std::uint32_t kSamplesPerMillisecond = 8;
constexpr std::uint32_t kKeyIntervalMilliseconds = 150;
// How long the line may take to answer a request.
constexpr int kReplyMilliseconds = 5000;
// Four hours of what the caller heard at the most; a line that places sound
// beyond is not believed.
constexpr std::uint64_t kLongestHeard = std::uint64_t{8000} * 60 * 60 * 4;

// What the caller heard, in place: silence wherever nothing played.
class HeardTrack {
public:
    void Place(std::uint64_t firstSample, const std::vector<std::int16_t>& samples) {
        if (firstSample + samples.size() > kLongestHeard) {
            return;
        }
        const auto end = static_cast<std::size_t>(firstSample + samples.size());
        if (samples_.size() < end) {
            samples_.resize(end, 0);
        }
        std::copy(samples.begin(), samples.end(),
                  samples_.begin() + static_cast<std::ptrdiff_t>(firstSample));
    }

    // Pads with silence to the end of the call.
    void Extend(std::uint64_t sampleCount) {
        if (sampleCount <= kLongestHeard && samples_.size() < sampleCount) {
            samples_.resize(static_cast<std::size_t>(sampleCount), 0);
        }
    }

    const std::vector<std::int16_t>& Samples() const { return samples_; }

private:
    std::vector<std::int16_t> samples_;
};

// One thing to do at a moment after the answer.
struct Action {
    enum class Kind { Key, Pulse, Say, Pause, HangUp };
    Kind kind;
    char key = 0;
    const std::vector<std::int16_t>* samples = nullptr;
    std::uint32_t milliseconds = 0;
};

std::vector<Action> PlanActions(const std::vector<Step>& steps) {
    std::vector<Action> actions;
    for (const Step& step : steps) {
        switch (step.kind) {
            case Step::Kind::Wait:
                actions.push_back({Action::Kind::Pause, 0, nullptr, step.milliseconds});
                break;
            case Step::Kind::Keys:
            case Step::Kind::Pulse:
                for (const char key : step.keys) {
                    actions.push_back(
                        {step.kind == Step::Kind::Keys ? Action::Kind::Key : Action::Kind::Pulse,
                         key, nullptr, 0});
                    actions.push_back({Action::Kind::Pause, 0, nullptr, kKeyIntervalMilliseconds});
                }
                break;
            case Step::Kind::Say:
                // The caller speaks in real time: the next step waits for the end.
                actions.push_back({Action::Kind::Say, 0, &step.samples, 0});
                actions.push_back(
                    {Action::Kind::Pause, 0, nullptr,
                     static_cast<std::uint32_t>((step.samples.size() + kSamplesPerMillisecond - 1) /
                                                kSamplesPerMillisecond)});
                break;
            case Step::Kind::HangUp:
                actions.push_back({Action::Kind::HangUp});
                break;
        }
    }
    return actions;
}

class CallRunner {
public:
    CallRunner(const CallOptions& options, platform::Clock& clock, std::ostream& timeline,
               std::ostream& problems)
        : options_(options),
          clock_(clock),
          timeline_(timeline),
          problems_(problems),
          line_(clock) {}

    int Run() {
        std::string problem;
        if (!line_.Connect(options_.socketPath, problem)) {
            problems_ << "porthold-phone: no line answers on " << options_.socketPath << " ("
                      << problem << ")\n";
            return kNoLine;
        }
        dialTick_ = clock_.TickCount();
        Print("dial");
        ProtocolMessage reply;
        if (!line_.Send("DIAL") || line_.Next(reply, kReplyMilliseconds) != Result::Message ||
            (reply.command != "OFFERED" && reply.command != "BUSY")) {
            problems_ << "porthold-phone: the line on " << options_.socketPath
                      << " does not answer the dial\n";
            return kNoLine;
        }
        if (reply.command == "BUSY") {
            problems_ << "porthold-phone: the line is busy\n";
            Print("end");
            return kLineBusy;
        }
        if (RingUntilAnswered()) {
            RunSteps();
        }
        const std::uint32_t endedAt = Elapsed();
        if (answeredAt_) {
            heard_.Extend(std::uint64_t{endedAt - *answeredAt_} * kSamplesPerMillisecond);
        }
        Print("end");
        if (!options_.hearFile.empty() &&
            !audio::WriteTelephonyWaveFile(options_.hearFile, heard_.Samples())) {
            problems_ << "porthold-phone: cannot write " << options_.hearFile << '\n';
            return kFailed;
        }
        return kCallRan;
    }

private:
    std::uint32_t Elapsed() const { return clock_.TickCount() - dialTick_; }

    void Print(const std::string& event) {
        if (options_.trace) {
            // Not the clock's tick count: that starts with this process.
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            const double milliseconds = std::chrono::duration<double, std::milli>(now).count();
            timeline_ << std::fixed << std::setprecision(3) << milliseconds << ' ' << event
                      << std::endl;
            return;
        }
        timeline_ << Elapsed() << ' ' << event << std::endl;
    }

    // Rings on the caller's own cadence; true when the program answered.
    bool RingUntilAnswered() {
        std::uint32_t rings = 0;
        std::uint32_t nextRing = 0;
        for (;;) {
            const std::uint32_t now = Elapsed();
            if (now >= nextRing) {
                if (options_.ringsBeforeHangUp && rings >= *options_.ringsBeforeHangUp) {
                    HangUp();
                    return false;
                }
                line_.Send("RING");
                Print("ring " + std::to_string(++rings));
                nextRing = std::max(nextRing + options_.ringEveryMilliseconds, now + 1);
                continue;
            }
            ProtocolMessage message;
            const Result result = line_.Next(message, static_cast<int>(nextRing - now));
            if (result == Result::TimedOut) {
                continue;
            }
            if (result == Result::Closed) {
                Print("hangup by program");
                return false;
            }
            if (message.command == "ANSWERED") {
                answeredAt_ = Elapsed();
                Print("answered");
                return true;
            }
            if (!TakeDuringCall(message)) {
                return false;
            }
        }
    }

    void RunSteps() {
        const std::vector<Action> actions = PlanActions(options_.steps);
        std::size_t next = 0;
        std::uint32_t nextAt = *answeredAt_;
        for (;;) {
            while (next < actions.size() && Elapsed() >= nextAt) {
                const Action& action = actions[next++];
                switch (action.kind) {
                    case Action::Kind::Pause:
                        nextAt = Elapsed() + action.milliseconds;
                        break;
                    case Action::Kind::Key:
                    case Action::Kind::Pulse:
                        line_.Send(std::string("KEY ") + action.key +
                                   (action.kind == Action::Kind::Key ? " DTMF" : " PULSE"));
                        Print(std::string("key ") + action.key);
                        break;
                    case Action::Kind::Say: {
                        const std::string payload = service::SamplesToPayload(*action.samples);
                        line_.Send("SAY " + std::to_string(payload.size()), payload);
                        break;
                    }
                    case Action::Kind::HangUp:
                        HangUp();
                        return;
                }
            }
            // Without a hang-up of its own the caller stays on until the program hangs up.
            const int wait = next < actions.size()
                                 ? static_cast<int>(std::max(nextAt, Elapsed()) - Elapsed())
                                 : -1;
            ProtocolMessage message;
            const Result result = line_.Next(message, wait);
            if (result == Result::Closed) {
                Print("hangup by program");
                return;
            }
            if (result == Result::Message && !TakeDuringCall(message)) {
                return;
            }
        }
    }

    // False once the program has hung up.
    bool TakeDuringCall(const ProtocolMessage& message) {
        if (message.command == "HEARD" && message.arguments.size() == 2) {
            if (const auto first = service::ParseCount(message.arguments[0])) {
                heard_.Place(*first, service::PayloadToSamples(message.payload));
            }
        } else if (message.command == "HUNGUP") {
            Print("hangup by program");
            return false;
        } else if (message.command == "ERROR") {
            problems_ << "porthold-phone: the line refused a message:";
            for (const std::string& word : message.arguments) {
                problems_ << ' ' << word;
            }
            problems_ << '\n';
        }
        return true;
    }

    // The caller hangs up; what the caller heard until then still comes in.
    void HangUp() {
        line_.Send("HANGUP");
        Print("hangup by caller");
        ProtocolMessage message;
        while (line_.Next(message, kReplyMilliseconds) == Result::Message &&
               message.command != "ENDED") {
            if (message.command == "HEARD") {
                TakeDuringCall(message);
            }
        }
    }

    const CallOptions& options_;
    platform::Clock& clock_;
    std::ostream& timeline_;
    std::ostream& problems_;
    LineConnection line_;
    std::uint32_t dialTick_ = 0;
    std::optional<std::uint32_t> answeredAt_;
    HeardTrack heard_;
};

}  // namespace

int RunCall(const CallOptions& options, platform::Clock& clock, std::ostream& timeline,
            std::ostream& problems) {
    return CallRunner(options, clock, timeline, problems).Run();
}

int RunBusy(const BusyOptions& options, platform::Clock& clock, std::ostream& timeline,
            std::ostream& problems) {
    LineConnection line(clock);
    std::string problem;
    if (!line.Connect(options.socketPath, problem)) {
        problems << "porthold-phone: no line answers on " << options.socketPath << " (" << problem
                 << ")\n";
        return kNoLine;
    }
    const std::uint32_t start = clock.TickCount();
    const auto print = [&](const char* event) {
        timeline << clock.TickCount() - start << ' ' << event << std::endl;
    };
    ProtocolMessage reply;
    if (!line.Send("HOLD") || line.Next(reply, kReplyMilliseconds) != Result::Message) {
        problems << "porthold-phone: the line on " << options.socketPath << " does not answer\n";
        return kNoLine;
    }
    if (reply.command != "HELD") {
        problems << "porthold-phone: the line has a call and cannot be held\n";
        return kLineBusy;
    }
    print("hold");
    for (;;) {
        const std::uint32_t held = clock.TickCount() - start;
        if (held >= options.milliseconds) {
            break;
        }
        ProtocolMessage message;
        if (line.Next(message, static_cast<int>(options.milliseconds - held)) == Result::Closed) {
            problems << "porthold-phone: the line went away\n";
            return kFailed;
        }
    }
    line.Send("RELEASE");
    line.Next(reply, kReplyMilliseconds);
    print("release");
    return kCallRan;
}

}  // namespace porthold::phone
