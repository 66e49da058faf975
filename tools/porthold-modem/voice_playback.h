#pragma once

#include <cstdint>
#include <deque>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/multimedia/wave_device_provider.h"
#include "service/modem/voice_compression.h"

namespace porthold::modem_emulator {

// Whether anyone hears what the modem plays: with no call on the line the
// audio is taken at the same pace but goes nowhere.
enum class Listener { Present, Absent };

// The modem's side of AT+VTX: takes the computer's audio into a bounded
// buffer and plays it to the line's output device at 8000 samples a second,
// 20 ms at a time, as the clock moves.
class VoicePlayback {
public:
    enum class Step { Playing, Underrun, Finished };

    static constexpr std::uint32_t kStepMilliseconds = 20;
    static constexpr std::size_t kSamplesPerStep = 160;
    // Two seconds of audio: what a computer that writes ahead may have sent
    // before it is played. More is dropped.
    static constexpr std::size_t kBufferedSamples = 16000;

    VoicePlayback(platform::WaveDeviceProvider& channel, std::uint32_t deviceId, std::ostream& log);
    ~VoicePlayback();
    VoicePlayback(const VoicePlayback&) = delete;
    VoicePlayback& operator=(const VoicePlayback&) = delete;

    // Opens the output device; false when the channel is held.
    bool Open(service::modem::SampleEncoding encoding);
    bool IsOpen() const { return device_ != nullptr; }

    // Audio from the computer, one byte a sample, unshielded.
    void Add(std::span<const std::uint8_t> samples, std::uint32_t now);
    // Takes back the last sample if it is not played yet.
    void DropLastSample();
    // No more audio comes: playback finishes once the buffer has played.
    void End();
    bool IsEnding() const { return ending_; }

    // Plays the steps due by `now`. Underrun is reported once a dry spell.
    Step Advance(std::uint32_t now, Listener listener);
    std::optional<std::uint32_t> MillisecondsUntilStep(std::uint32_t now) const;

    // Drops what is not played, stops the device and closes it.
    void Close();

private:
    struct Chunk {
        platform::WAVEHDR header;
        std::vector<std::int16_t> samples;
    };

    void PlayStep(Listener listener);
    void KeepOneStepAhead(Listener listener);
    bool IsDevicePlaying() const;

    platform::WaveDeviceProvider& channel_;
    std::uint32_t deviceId_;
    std::ostream& log_;
    std::unique_ptr<platform::WaveOutputDevice> device_;
    service::modem::SampleEncoding encoding_ = service::modem::SampleEncoding::UnsignedLinear8;
    std::deque<std::uint8_t> buffered_;
    std::deque<std::unique_ptr<Chunk>> chunks_;
    std::optional<std::uint32_t> nextStep_;
    bool ending_ = false;
    bool dry_ = false;
    bool overflowLogged_ = false;
};

}  // namespace porthold::modem_emulator
