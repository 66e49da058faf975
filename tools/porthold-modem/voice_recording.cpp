#include "voice_recording.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/clock.h"
#include "platform/multimedia/wave_format.h"

namespace porthold::modem_emulator {
namespace {}  // namespace

VoiceRecording::VoiceRecording(platform::WaveDeviceProvider& channel, std::uint32_t deviceId)
    : channel_(channel), deviceId_(deviceId) {}

VoiceRecording::~VoiceRecording() {
    std::vector<std::int16_t> rest;
    Close(rest);
}

bool VoiceRecording::Open(std::uint32_t now) {
    std::vector<std::int16_t> rest;
    Close(rest);
    if (channel_.OpenInput(deviceId_, platform::LineVoiceFormat(), device_) !=
        platform::MMSYSERR_NOERROR) {
        device_.reset();
        return false;
    }
    buffers_.clear();
    for (std::size_t index = 0; index < kBufferCount; ++index) {
        buffers_.push_back(std::make_unique<Buffer>());
        Queue(*buffers_.back());
    }
    next_ = 0;
    startTick_ = now;
    handedOn_ = 0;
    device_->Start();
    return true;
}

void VoiceRecording::Collect(std::vector<std::int16_t>& samples) {
    if (device_) {
        // Asking the device brings it up to the clock first.
        device_->HasQueuedBuffers();
        TakeDone(samples);
    }
}

void VoiceRecording::Close(std::vector<std::int16_t>& samples) {
    if (!device_) {
        return;
    }
    device_->Reset();
    TakeDone(samples);
    device_.reset();
    buffers_.clear();
}

std::optional<std::uint32_t> VoiceRecording::MillisecondsUntilStep(std::uint32_t now) const {
    if (!device_) {
        return std::nullopt;
    }
    const std::uint32_t nextFull =
        startTick_ +
        static_cast<std::uint32_t>((handedOn_ / kSamplesPerStep + 1) * kStepMilliseconds);
    // A device that fills its buffers from a thread of its own may be a little
    // late: look again shortly rather than spin.
    constexpr std::uint32_t kLookAgain = 5;
    return platform::HasReached(now, nextFull) ? kLookAgain : nextFull - now;
}

void VoiceRecording::Queue(Buffer& buffer) {
    buffer.header.lpData = reinterpret_cast<char*>(buffer.samples.data());
    buffer.header.dwBufferLength = static_cast<std::uint32_t>(sizeof(buffer.samples));
    buffer.header.dwBytesRecorded = 0;
    buffer.header.dwFlags = platform::WHDR_PREPARED | platform::WHDR_INQUEUE;
    if (device_) {
        device_->AddBuffer(buffer.header);
    }
}

void VoiceRecording::TakeDone(std::vector<std::int16_t>& samples) {
    // Buffers fill in turn, so the first one not done ends the search. Each
    // at most once a call: a device refilling at once cannot keep us here.
    for (std::size_t looked = 0; looked < buffers_.size(); ++looked) {
        Buffer& buffer = *buffers_[next_];
        if (!(buffer.header.dwFlags.load() & platform::WHDR_DONE)) {
            return;
        }
        const std::size_t count = std::min<std::size_t>(
            buffer.header.dwBytesRecorded / sizeof(std::int16_t), kSamplesPerStep);
        samples.insert(samples.end(), buffer.samples.begin(), buffer.samples.begin() + count);
        handedOn_ += count;
        Queue(buffer);
        next_ = (next_ + 1) % buffers_.size();
    }
}

void AddBusyTone(std::span<std::int16_t> samples, std::int64_t firstSampleAfterHangUp) {
    constexpr double kRate = 8000.0;
    constexpr double kAmplitude = 6000.0;
    constexpr std::int64_t kHalfCycle = 4000;  // half a second on, half off
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const std::int64_t position = firstSampleAfterHangUp + static_cast<std::int64_t>(index);
        if (position < 0 || (position / kHalfCycle) % 2 != 0) {
            continue;
        }
        const double time = static_cast<double>(position) / kRate;
        const double tone = kAmplitude * (std::sin(2 * std::numbers::pi * 480.0 * time) +
                                          std::sin(2 * std::numbers::pi * 620.0 * time));
        const double mixed = std::clamp(samples[index] + tone, -32768.0, 32767.0);
        samples[index] = static_cast<std::int16_t>(mixed);
    }
}

}  // namespace porthold::modem_emulator
