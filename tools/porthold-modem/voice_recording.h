#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/multimedia/wave_device_provider.h"

namespace porthold::modem_emulator {

// The modem's side of AT+VRX: records what the caller says from the line's
// input device in 20 ms buffers and hands each on once it is full.
class VoiceRecording {
public:
    static constexpr std::uint32_t kStepMilliseconds = 20;
    static constexpr std::size_t kSamplesPerStep = 160;
    // Two seconds of buffers, so that a loop that looks late (or a long
    // virtual jump) loses nothing.
    static constexpr std::size_t kBufferCount = 100;

    explicit VoiceRecording(platform::WaveDeviceProvider& channel, std::uint32_t deviceId);
    ~VoiceRecording();
    VoiceRecording(const VoiceRecording&) = delete;
    VoiceRecording& operator=(const VoiceRecording&) = delete;

    // Opens the input device and starts recording; false when the channel is
    // held.
    bool Open(std::uint32_t now);
    bool IsOpen() const { return device_ != nullptr; }

    // Appends the samples recorded since the last call to `samples`.
    void Collect(std::vector<std::int16_t>& samples);
    // Appends what is left, then stops the device and closes it.
    void Close(std::vector<std::int16_t>& samples);

    // The clock reading at which recording began, and how many samples have
    // been handed on since: together they give each sample's time.
    std::uint32_t StartTick() const { return startTick_; }
    std::uint64_t SamplesHandedOn() const { return handedOn_; }

    std::optional<std::uint32_t> MillisecondsUntilStep(std::uint32_t now) const;

private:
    struct Buffer {
        platform::WAVEHDR header;
        std::array<std::int16_t, kSamplesPerStep> samples{};
    };

    void Queue(Buffer& buffer);
    void TakeDone(std::vector<std::int16_t>& samples);

    platform::WaveDeviceProvider& channel_;
    std::uint32_t deviceId_;
    std::unique_ptr<platform::WaveInputDevice> device_;
    // In the order they were queued, which is the order they fill.
    std::vector<std::unique_ptr<Buffer>> buffers_;
    std::size_t next_ = 0;
    std::uint32_t startTick_ = 0;
    std::uint64_t handedOn_ = 0;
};

// Adds the exchange's busy tone (480 Hz and 620 Hz, half a second on, half a
// second off) to recorded samples; `firstSampleAfterHangUp` is the first
// sample's distance from the far end's hang-up, in samples (negative: before
// it, and no tone there).
void AddBusyTone(std::span<std::int16_t> samples, std::int64_t firstSampleAfterHangUp);

}  // namespace porthold::modem_emulator
