#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/multimedia/wave_device_provider.h"
#include "platform/virtual_clock.h"
#include "service/sip/headset_bridge.h"
#include "service/sip/jitter_buffer.h"
#include "service/sip/send_pacer.h"
#include "service/sip/voice_channel.h"

namespace porthold::service::sip {

// The voice channel of a SIP line: one output device (what the caller hears)
// and one input device (what the caller says), both in the line's format only
// (PCM mono, 8000 samples a second, 16 bits). Unlike a modem's channel it is
// full duplex, so both devices may be open at once, each once.
//
// What the program plays is cut into 20 ms frames and handed out in real time
// of the clock: to the call's FrameSender while a call's audio is on, dropped
// otherwise, so that a play takes its real length either way. Recording takes
// one 20 ms frame from the jitter buffer every 20 ms (silence without a call).
//
// While the headset is connected (the user talks to the caller through the
// sound card), the caller's audio also goes to the sound card's speaker, and
// what its microphone records is sent in place of what the program plays,
// which is still paced and dropped. The headset ends with the call's audio.
//
// Pacing follows the clock: on a VirtualClock through its time observer, so
// tests move time and see the result at once; on any other clock with one
// thread that wakes every 20 ms while a device is open or a call's audio is
// on, and otherwise blocks. Thread-safe; the channel must outlive its devices.
class SipVoiceChannel final : public platform::WaveDeviceProvider,
                              public CallAudio,
                              private platform::TimeObserver {
public:
    SipVoiceChannel(platform::Clock& clock, std::uint32_t outputDeviceId,
                    std::uint32_t inputDeviceId, JitterBufferSettings jitterSettings = {},
                    HeadsetSoundCard headset = {});
    ~SipVoiceChannel() override;
    SipVoiceChannel(const SipVoiceChannel&) = delete;
    SipVoiceChannel& operator=(const SipVoiceChannel&) = delete;

    bool ServesDevice(std::uint32_t deviceId, platform::WaveDirection direction) const override;
    platform::MMRESULT QueryFormat(std::uint32_t deviceId, platform::WaveDirection direction,
                                   const platform::WaveFormat& format) override;
    platform::MMRESULT OpenOutput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                  std::unique_ptr<platform::WaveOutputDevice>& device) override;
    platform::MMRESULT OpenInput(std::uint32_t deviceId, const platform::WaveFormat& format,
                                 std::unique_ptr<platform::WaveInputDevice>& device) override;

    void BeginCallAudio(FrameSender& sender) override;
    void ReceiveAudio(std::uint16_t sequence, std::uint32_t timestamp,
                      std::span<const std::int16_t> samples) override;
    void EndCallAudio() override;

    // Bridges the call's audio to the sound card until DisconnectHeadset or the
    // end of the call's audio. False without a call's audio, or without a
    // sound card that could play and record the line's format (a machine with
    // none, say); true otherwise, also while a busy card is still waited for.
    bool ConnectHeadset();
    void DisconnectHeadset();

    // Whether the channel has something to pace now (a device open or a
    // call's audio on); otherwise its thread, if it has one, is blocked.
    bool IsPacing() const;

private:
    class Output;
    class Input;

    void OnTimeChanged(std::uint32_t tickCount) override;
    std::shared_ptr<HeadsetBridge> TakeHeadsetLocked();
    bool IsSoundCardUsable() const;
    void Update(std::uint32_t tickCount);
    void FollowRealClock(const std::stop_token& stop);
    bool IsPacingLocked() const;

    // Output: hands due frames out, stamped for the network, into `due`.
    void PlayDueFramesLocked(std::uint32_t now, std::vector<OutgoingFrame>& due);
    void StampFrameLocked(std::uint32_t now, OutgoingFrame& frame);
    void StampMicrophoneFrameLocked(std::uint32_t tick, OutgoingFrame& frame);
    std::uint32_t TimestampAfterPauseLocked(std::uint32_t now) const;
    void NoteFrameStampedLocked(std::uint32_t now, const OutgoingFrame& frame);
    void RestartPacerLocked();

    // Input: the 20 ms recording clock runs while a call's audio is on or the
    // program records; with the headset it also sends the microphone's frames
    // into `due`.
    void SyncRecordingClockLocked(std::uint32_t now);
    void RecordDueFramesLocked(std::uint32_t now, std::vector<OutgoingFrame>& due);

    platform::Clock& clock_;
    platform::VirtualClock* virtualClock_;
    const std::uint32_t outputDeviceId_;
    const std::uint32_t inputDeviceId_;
    const JitterBufferSettings jitterSettings_;
    const HeadsetSoundCard headsetSoundCard_;

    mutable std::mutex mutex_;
    std::condition_variable_any workNeeded_;
    std::condition_variable sendsFinished_;

    Output* output_ = nullptr;
    Input* input_ = nullptr;

    FrameSender* sender_ = nullptr;
    int sendsInFlight_ = 0;
    std::optional<JitterBuffer> jitter_;  // while a call's audio is on
    // Shared with an Update that opens the sound card outside the lock; the
    // last owner closes the devices.
    std::shared_ptr<HeadsetBridge> headset_;
    bool microphoneSpurtStarted_ = false;

    SendPacer pacer_{0, 0};
    // The pacer numbers frames from zero; these carry the numbering of the
    // channel's one RTP stream across a restarted pacer (after a Reset, or
    // the headset), and give the first frame the stream's random start.
    bool pacerRestarted_ = true;
    std::uint16_t sequenceShift_ = 0;
    std::uint32_t timestampShift_ = 0;
    std::uint16_t nextSequence_ = 0;
    std::uint32_t nextTimestamp_ = 0;
    bool sentBefore_ = false;
    std::uint32_t lastFrameEndTick_ = 0;

    bool recordingClockRunning_ = false;
    std::uint32_t nextRecordingTick_ = 0;

    std::jthread follower_;
};

}  // namespace porthold::service::sip
