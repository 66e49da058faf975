#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/call_flags.h"
#include "config/error_log.h"
#include "config/settings.h"
#include "platform/clock.h"
#include "platform/multimedia/multimedia_file.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/multimedia/wave_types.h"

namespace porthold::audio {

class WavePlayer;

// Silence detection leaves almost quiet buffers out of the file and ends a
// message after a long silence or at its maximum length. On for messages
// taken on the line, off for a greeting the user records and stops.
enum class SilenceDetection { Off, On };

// Records from a wave input device into a WAVE file of the telephony layout,
// on two buffers of 125 milliseconds that the device fills in turn. The
// engine's tick calls Rebuffer while the recording flag is set; StopRecording
// closes the device and fixes the file's sizes.
//
// Main thread only. The player is the other half of the program's one audio
// object; the recorder stops interruptible sounds when its device is busy.
class WaveRecorder {
public:
    // One buffer: block alignment (2) times 1000 samples.
    static constexpr std::uint32_t kBufferBytes = 2000;
    static constexpr int kBufferCount = 2;
    // With a silence level, 10 seconds of silence or 2 minutes of kept sound
    // end a message.
    static constexpr std::int32_t kSilentRunLimit = 80;
    static constexpr std::int32_t kWrittenBufferLimit = 960;
    // Without a silence level a message has no limit of its own, yet a line
    // that is never hung up must not fill the disk (nor a WAVE file grow past
    // what its sizes can say): half an hour ends any message.
    static constexpr std::int32_t kLongestMessageBuffers = 14400;

    // Everything referred to must outlive the recorder. `settings` is read on
    // every buffer, so a changed SilenceLevel applies at once.
    WaveRecorder(platform::WaveDevices& devices, platform::Clock& clock, config::ErrorLog& log,
                 const config::Settings& settings, CallFlags& callFlags, WavePlayer& player);
    // Stops the device and frees the buffers; the file is not finalised.
    ~WaveRecorder();
    WaveRecorder(const WaveRecorder&) = delete;
    WaveRecorder& operator=(const WaveRecorder&) = delete;

    // Creates the file and starts recording from `device`. True when the
    // recording runs; the recording flag is then set.
    bool RecordSound(const std::string& fileName, std::uint32_t device,
                     SilenceDetection detectSilence);

    // Writes every buffer the device has filled and gives it back.
    void Rebuffer();

    // Stops the device, keeps what it handed back and finalises the file.
    // False when a buffer was not handed back: the file is then left as it
    // is and the buffers stay listed for another attempt.
    bool StopRecording();

    // The recording flag: buffers are processed and given back while it is set.
    bool IsRecording() const { return recording_; }
    // The settings dialog raises the flag itself right before RecordSound.
    void SetRecordingFlag() { recording_ = true; }

    // Buffers written to a file, and the current run of silent buffers. They
    // carry over from one recording to the next until the engine resets them.
    std::int32_t WrittenBufferCount() const { return writtenBufferCount_; }
    std::int32_t SilentRunCount() const { return silentRunCount_; }
    void ResetCounts();

    // Whether buffers of a recording are still listed.
    bool HasBuffers() const { return !buffers_.empty(); }

    // Stops the device and frees the buffers without finalising the file;
    // for the program's end, after StopRecording.
    void ReleaseBuffers();

private:
    enum class BufferPlace { WithDevice, WithProgram };

    struct RecorderBufferNode {
        std::unique_ptr<platform::WAVEHDR> header;
        std::vector<char> data;
        BufferPlace place = BufferPlace::WithProgram;
        // The device fills buffers in the order they were queued.
        std::uint64_t queuedSequence = 0;
    };

    // Asks whether the device is free, then opens it; false, with the reason
    // reported, when it cannot be opened.
    bool OpenInput(platform::HWAVEIN& handle, std::uint32_t device,
                   const platform::WAVEFORMATEX& format);
    // Queues the buffers of the recording just set up and starts the device;
    // on failure the recording is abandoned and false returned.
    bool StartInput();
    platform::MMRESULT OpenInputWhenFree(platform::HWAVEIN& handle, std::uint32_t device,
                                         const platform::WAVEFORMATEX& format);
    // Creates, prepares and queues one buffer; false after a failure (which
    // is reported unless the buffer could not be allocated).
    bool AddRecordingBuffer();
    platform::MMRESULT QueueBuffer(RecorderBufferNode& buffer);
    // Stops the device and frees the recording's buffers, device and file.
    void AbandonRecording();
    // Writes the sound of a buffer the device handed back; for Rebuffer.
    void KeepFilledBuffer(RecorderBufferNode& buffer);
    // The message is long enough: recording stops and the call is to end.
    void EndMessage();
    // Nothing more can be recorded (the disk is full, the device gone): a
    // message ends as at its limit, a recording the user stops waits for it.
    void EndAfterFailure();
    // Writes what the device handed back at the stop, in the order recorded.
    void KeepReturnedAudio();
    bool DetectsSilence() const;
    // False when the samples could not be written, now or earlier.
    bool WriteSamples(std::span<const char> samples, std::string_view stepText);
    void ReportWaveError(platform::MMRESULT code, std::string_view stepText);

    platform::WaveDevices& devices_;
    platform::Clock& clock_;
    config::ErrorLog& log_;
    const config::Settings& settings_;
    CallFlags& callFlags_;
    WavePlayer& player_;

    bool recording_ = false;
    std::int32_t writtenBufferCount_ = 0;
    std::int32_t silentRunCount_ = 0;

    // The recording the buffers belong to; valid while buffers are listed.
    platform::HWAVEIN handle_{};
    std::unique_ptr<platform::MultimediaFile> file_;
    platform::MMCKINFO riffChunk_{};
    platform::MMCKINFO dataChunk_{};
    SilenceDetection detectSilence_ = SilenceDetection::Off;
    // The samples on disk, and whether a write failed: the stop then cuts the
    // file back to them.
    std::uint64_t keptDataBytes_ = 0;
    bool writeFailed_ = false;
    std::list<RecorderBufferNode> buffers_;
    std::uint64_t nextQueuedSequence_ = 0;
};

}  // namespace porthold::audio
