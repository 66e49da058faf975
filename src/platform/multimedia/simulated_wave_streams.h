#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/multimedia/scripted_audio.h"
#include "platform/multimedia/wave_device_provider.h"
#include "platform/virtual_clock.h"

namespace porthold::platform {

enum class PlaybackState { Playing, Finished, CutShort };

// One buffer a simulated output device was given, as the listener heard it.
struct PlayedSound {
    std::uint32_t deviceId = 0;
    WaveFormat format;
    // Clock readings (TickCount). While playing, endTick is the planned end;
    // a buffer cut short by a reset ends at the reset, and one reset before it
    // began starts and ends there.
    std::uint32_t startTick = 0;
    std::uint32_t endTick = 0;
    PlaybackState state = PlaybackState::Playing;
    // The whole buffer as written, also when it was cut short.
    std::vector<std::uint8_t> bytes;

    // The buffer as signed 16-bit samples (8-bit samples scaled up), channels
    // interleaved.
    std::vector<std::int16_t> Samples() const;
};

// The timing engine behind the simulated devices: output buffers play in real
// time of the clock, one after the other per device, and are marked done when
// the clock reaches their end; input buffers fill from scripted audio as the
// clock moves and are marked done when full. It keeps the timeline of what
// was played.
//
// It follows the clock by itself: on a VirtualClock through the clock's time
// observer, so it also sees time move while the program sleeps; on any other
// clock with a small thread that looks every 5 milliseconds while a buffer is
// queued, and sleeps otherwise. Each device call also brings it up to date
// first. Update may be called from any thread.
class SimulatedWaveStreams final : private TimeObserver {
public:
    explicit SimulatedWaveStreams(Clock& clock);
    ~SimulatedWaveStreams() override;
    SimulatedWaveStreams(const SimulatedWaveStreams&) = delete;
    SimulatedWaveStreams& operator=(const SimulatedWaveStreams&) = delete;

    // Finishes what the clock reading `tickCount` completes.
    void Update(std::uint32_t tickCount);

    // The devices refer to this object, which must outlive them.
    std::unique_ptr<WaveOutputDevice> OpenOutput(std::uint32_t deviceId, const WaveFormat& format);
    std::unique_ptr<WaveInputDevice> OpenInput(std::uint32_t deviceId, const WaveFormat& format);

    std::size_t OpenOutputCount() const;
    std::size_t OpenInputCount() const;

    std::vector<PlayedSound> Timeline() const;
    // Empties the timeline, returning what it held: a long-running simulation
    // keeps its memory bounded this way.
    std::vector<PlayedSound> TakeTimeline();

    // Speech is kept only until it is over (see ScriptedAudio).
    void Speak(std::uint32_t startTick, std::vector<std::int16_t> samples);
    void SetNoiseAmplitude(std::int16_t amplitude);
    void ClearSpeech();

private:
    class Output;
    class Input;

    void OnTimeChanged(std::uint32_t tickCount) override;
    void Follow(const std::stop_token& stop);
    bool HasWorkLocked() const;
    void UpdateLocked(std::uint32_t tickCount);
    PlayedSound* TimelineEntry(std::uint64_t sequence);

    Clock& clock_;
    VirtualClock* virtualClock_;
    mutable std::mutex mutex_;
    // Tells the follower that a device was given work.
    std::condition_variable_any work_;
    std::vector<Output*> outputs_;
    std::vector<Input*> inputs_;
    std::vector<PlayedSound> timeline_;
    // Sequence number of timeline_.front(); entries are found by sequence so
    // that emptying the timeline does not confuse sounds still playing.
    std::uint64_t timelineBase_ = 0;
    ScriptedAudio script_;
    std::jthread follower_;
};

}  // namespace porthold::platform
