#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "platform/multimedia/wave_device_provider.h"
#include "service/modem_line/modem_dialogue.h"

namespace porthold::service::modem {

enum class CallAudioState { Off, On };

// The voice channel of a modem line: one output device (what the caller
// hears) and one input device (what the caller says), in the line's format
// only (PCM mono, 8000 samples a second, 16 bits). Like the modem itself it
// is half-duplex: while either device is open, a second open answers
// MMSYSERR_ALLOCATED.
//
// While the call's audio is on, the dialogue takes what the program plays
// (a buffer is done once its last sample went to the modem) and hands it what
// the modem records. Without it, played buffers are done at once, so that the
// program never waits on a call that is gone, and recording gets silence in
// the clock's time. `wake` is called, with no lock held, whenever the line's
// thread has something new to do. Thread-safe.
class ModemVoiceChannel final : public platform::WaveDeviceProvider,
                                public ModemDialogue::CallAudio {
public:
    ModemVoiceChannel(platform::Clock& clock, std::uint32_t outputDeviceId,
                      std::uint32_t inputDeviceId, std::function<void()> wake);
    ~ModemVoiceChannel() override;
    ModemVoiceChannel(const ModemVoiceChannel&) = delete;
    ModemVoiceChannel& operator=(const ModemVoiceChannel&) = delete;

    bool ServesDevice(std::uint32_t deviceId, platform::WaveDirection direction) const override;
    platform::MMRESULT QueryFormat(std::uint32_t deviceId, platform::WaveDirection direction,
                                   const platform::WaveFormat& format) override;
    platform::MMRESULT OpenOutput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                  std::unique_ptr<platform::WaveOutputDevice>& device) override;
    platform::MMRESULT OpenInput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                 std::unique_ptr<platform::WaveInputDevice>& device) override;

    // --- The line's side ---
    void SetCallAudio(CallAudioState state);
    // Records silence up to the clock's time while there is no call's audio.
    void Update();
    // Whether Update has silence to record from time to time.
    bool RecordsSilence() const;

    // --- ModemDialogue::CallAudio, on the line's thread ---
    std::size_t TakePlayback(std::span<std::int16_t> samples) override;
    bool HasPlayback() const override;
    bool TakeInterrupt() override;
    bool WantsRecording() const override;
    void Recorded(std::span<const std::int16_t> samples) override;

    // The most buffers either device holds; more are refused.
    static constexpr std::size_t kMostQueuedBuffers = 256;

private:
    class Output;
    class Input;

    void RecordLocked(std::span<const std::int16_t> samples);

    platform::Clock& clock_;
    const std::uint32_t outputDeviceId_;
    const std::uint32_t inputDeviceId_;
    const std::function<void()> wake_;

    mutable std::mutex mutex_;
    Output* output_ = nullptr;
    Input* input_ = nullptr;
    CallAudioState callAudio_ = CallAudioState::Off;
    bool interrupted_ = false;
    std::uint32_t silenceTick_ = 0;
};

}  // namespace porthold::service::modem
