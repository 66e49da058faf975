#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "platform/multimedia/wave_device_provider.h"
#include "service/sip/media_frame.h"

namespace porthold::service::sip {

// The computer's sound card as a SIP line's headset, and where the line's
// troubles with it are written.
struct HeadsetSoundCard {
    // None: the line has no headset. Must outlive the voice channel.
    platform::WaveDeviceProvider* soundCard = nullptr;
    // Where a line "porthold line service: line NAME: ..." goes; none: nowhere.
    std::ostream* problems = nullptr;
    std::string lineName;
};

// The sound card's speaker and microphone while a SIP line's headset is off
// hook: the caller's audio goes to the speaker and the microphone's audio to
// the caller, one 20 ms frame each way per step. The two devices are opened
// through the sound card (the mapper, in the line's format) and held until the
// bridge is destroyed, which resets and closes them.
//
// Both directions are bounded by small rings of 20 ms buffers, so the delay the
// bridge adds stays within about a tenth of a second each way: a speaker frame
// that finds every buffer still queued is dropped, and a microphone that runs
// ahead fills every buffer and then loses what it records until one is taken.
//
// Thread-safe; Exchange never blocks for long, so it may run under the voice
// channel's lock, but OpenMissingDevices may wait for the sound card and is
// called holding no lock.
class HeadsetBridge {
public:
    static constexpr std::uint32_t kRetryMilliseconds = 500;
    static constexpr std::size_t kSpeakerBuffers = 5;
    static constexpr std::size_t kSpeakerCushionFrames = 2;
    static constexpr std::size_t kMicrophoneBuffers = 4;

    explicit HeadsetBridge(const HeadsetSoundCard& soundCard);
    ~HeadsetBridge();
    HeadsetBridge(const HeadsetBridge&) = delete;
    HeadsetBridge& operator=(const HeadsetBridge&) = delete;

    // Opens whichever device is not open yet, at most once every 500 ms of the
    // clock reading `now`. A card that cannot be had (still playing the
    // program's own sound, or absent) is written to the problems once until
    // both devices are open.
    void OpenMissingDevices(std::uint32_t now);

    // One 20 ms step: queues `toSpeaker` and returns the microphone's oldest
    // recorded frame, silence when none is ready.
    AudioFrame Exchange(const AudioFrame& toSpeaker);

private:
    struct Buffer {
        std::array<char, kFrameSamples * 2> bytes{};
        platform::WAVEHDR header;
    };

    void InstallLocked(std::unique_ptr<platform::WaveOutputDevice> speaker,
                       std::unique_ptr<platform::WaveInputDevice> microphone);
    void ReportLocked(platform::MMRESULT failure);
    void QueueForSpeakerLocked(const AudioFrame& frame);
    AudioFrame TakeFromMicrophoneLocked();
    void GiveToMicrophoneLocked(Buffer& buffer);

    platform::WaveDeviceProvider& soundCard_;
    std::ostream* problems_;
    std::string lineName_;

    std::mutex mutex_;
    bool opening_ = false;
    bool attempted_ = false;
    std::uint32_t lastAttemptTick_ = 0;
    bool failureReported_ = false;

    // The buffers are declared before the devices so that they outlive them.
    std::array<Buffer, kSpeakerBuffers> speakerBuffers_;
    std::array<Buffer, kMicrophoneBuffers> microphoneBuffers_;
    std::size_t nextSpeakerBuffer_ = 0;
    std::size_t nextMicrophoneBuffer_ = 0;
    std::unique_ptr<platform::WaveOutputDevice> speaker_;
    std::unique_ptr<platform::WaveInputDevice> microphone_;
};

}  // namespace porthold::service::sip
