#include "voice_playback.h"

#include "platform/clock.h"
#include "platform/multimedia/wave_format.h"

namespace porthold::modem_emulator {
namespace {

// A loop that was held up (a stopped process, a long virtual jump) catches up
// at most this many steps at once, then plays on from the present.
constexpr std::uint32_t kLongestCatchUp = 100;

}  // namespace

VoicePlayback::VoicePlayback(platform::WaveDeviceProvider& channel, std::uint32_t deviceId,
                             std::ostream& log)
    : channel_(channel), deviceId_(deviceId), log_(log) {}

VoicePlayback::~VoicePlayback() {
    Close();
}

bool VoicePlayback::Open(service::modem::SampleEncoding encoding) {
    Close();
    if (channel_.OpenOutput(deviceId_, platform::LineVoiceFormat(), device_) !=
        platform::MMSYSERR_NOERROR) {
        device_.reset();
        return false;
    }
    encoding_ = encoding;
    return true;
}

void VoicePlayback::Add(std::span<const std::uint8_t> samples, std::uint32_t now) {
    if (!device_ || ending_) {
        return;
    }
    const std::size_t room = kBufferedSamples - buffered_.size();
    const std::size_t taken = std::min(room, samples.size());
    buffered_.insert(buffered_.end(), samples.begin(), samples.begin() + taken);
    if (taken < samples.size() && !overflowLogged_) {
        overflowLogged_ = true;
        log_ << "porthold-modem: the computer sent more than 2 s of audio ahead; the rest of "
                "this playback's excess is dropped\n";
    }
    // Playing starts one step after audio comes, at first and after a dry
    // spell, as a modem fills a little of its buffer first: a computer that
    // sends each step's audio just in time then never runs it dry.
    if (!buffered_.empty() && (!nextStep_ || dry_)) {
        nextStep_ = now + kStepMilliseconds;
        dry_ = false;
    }
}

void VoicePlayback::DropLastSample() {
    if (!buffered_.empty()) {
        buffered_.pop_back();
    }
}

void VoicePlayback::End() {
    ending_ = true;
}

VoicePlayback::Step VoicePlayback::Advance(std::uint32_t now, Listener listener) {
    if (!device_) {
        return Step::Finished;
    }
    while (!chunks_.empty() && (chunks_.front()->header.dwFlags.load() & platform::WHDR_DONE)) {
        chunks_.pop_front();
    }
    bool underrun = false;
    std::uint32_t steps = 0;
    while (nextStep_ && platform::HasReached(now, *nextStep_)) {
        if (++steps > kLongestCatchUp) {
            nextStep_ = now + kStepMilliseconds;
            break;
        }
        *nextStep_ += kStepMilliseconds;
        if (!buffered_.empty()) {
            PlayStep(listener);
        } else if (!ending_ && !dry_) {
            dry_ = true;
            underrun = true;
        }
    }
    KeepOneStepAhead(listener);
    if (ending_ && buffered_.empty() && !IsDevicePlaying()) {
        return Step::Finished;
    }
    return underrun ? Step::Underrun : Step::Playing;
}

std::optional<std::uint32_t> VoicePlayback::MillisecondsUntilStep(std::uint32_t now) const {
    if (!device_) {
        return std::nullopt;
    }
    if (!nextStep_) {
        // Ending with nothing ever played: done at once.
        return ending_ ? std::optional<std::uint32_t>(0) : std::nullopt;
    }
    return platform::HasReached(now, *nextStep_) ? 0 : *nextStep_ - now;
}

void VoicePlayback::Close() {
    if (device_) {
        device_->Reset();
        device_.reset();
    }
    chunks_.clear();
    buffered_.clear();
    nextStep_.reset();
    ending_ = false;
    dry_ = false;
    overflowLogged_ = false;
}

void VoicePlayback::PlayStep(Listener listener) {
    const std::size_t count = std::min(kSamplesPerStep, buffered_.size());
    const std::vector<std::uint8_t> bytes(buffered_.begin(), buffered_.begin() + count);
    buffered_.erase(buffered_.begin(), buffered_.begin() + count);
    if (listener == Listener::Absent) {
        return;
    }
    auto chunk = std::make_unique<Chunk>();
    service::modem::DecodeSamples(encoding_, bytes, chunk->samples);
    if (chunk->samples.empty()) {
        return;
    }
    chunk->header.lpData = reinterpret_cast<char*>(chunk->samples.data());
    chunk->header.dwBufferLength =
        static_cast<std::uint32_t>(chunk->samples.size() * sizeof(std::int16_t));
    chunk->header.dwFlags = platform::WHDR_PREPARED | platform::WHDR_INQUEUE;
    if (device_->Write(chunk->header) == platform::MMSYSERR_NOERROR) {
        chunks_.push_back(std::move(chunk));
    }
}

void VoicePlayback::KeepOneStepAhead(Listener listener) {
    // The line's device plays in real time on a thread of its own, so a step
    // handed over just when it is due leaves a gap in what the caller hears
    // whenever this thread wakes late. One step more is queued, and the next
    // step's time moves on by one step, so the pace stays 8000 a second.
    if (listener == Listener::Present && nextStep_ && chunks_.size() < 2 &&
        buffered_.size() >= kSamplesPerStep) {
        PlayStep(listener);
        *nextStep_ += kStepMilliseconds;
    }
}

bool VoicePlayback::IsDevicePlaying() const {
    return !chunks_.empty() && device_ && device_->HasQueuedBuffers();
}

}  // namespace porthold::modem_emulator
