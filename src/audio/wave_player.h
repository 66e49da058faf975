#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/call_flags.h"
#include "config/error_log.h"
#include "platform/clock.h"
#include "platform/multimedia/wave_devices.h"
#include "platform/multimedia/wave_types.h"

namespace porthold::audio {

class WaveRecorder;

// Whether InterruptWaveOut may cut a sound off. Prompts the caller must hear
// in full are not interruptible; a later sound on their device waits for them.
enum class Interruptible { No, Yes };

// One sound in play: its own open device and its one buffer.
struct WaveOutNode {
    platform::HWAVEOUT handle{};
    std::uint32_t device = 0;
    std::unique_ptr<platform::WAVEHDR> header;
    // The whole "data" chunk; header->lpData points into it.
    std::vector<char> data;
    Interruptible interruptible = Interruptible::Yes;
};

// Plays WAVE files on wave output devices, each file whole as one buffer, and
// keeps every sound in play in a queue in the order the sounds were started.
// Completion is found by polling: the engine's tick calls DeleteWaveOut.
//
// Main thread only. The recorder is the other half of the program's one audio
// object; the player stops a recording when the device it needs is busy.
class WavePlayer {
public:
    // Everything referred to must outlive the player; the recorder is only
    // used after construction, so the audio object can build the two together.
    WavePlayer(platform::WaveDevices& devices, platform::Clock& clock, config::ErrorLog& log,
               CallFlags& callFlags, WaveRecorder& recorder);
    // Stops and releases every sound still queued.
    ~WavePlayer();
    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    // Starts the file playing on `device` and returns without waiting for its
    // end. When the device is busy with a sound of this program that is not
    // interruptible, it first waits for that sound to end. False, with the
    // reason logged, when the file cannot be played; a missing file is not
    // logged.
    bool PlayWaveOut(const std::string& fileName, std::uint32_t device,
                     Interruptible interruptible);

    // Releases finished sounds, then stops and releases every interruptible
    // one; sounds that are not interruptible play on.
    void InterruptWaveOut();

    // Releases every sound its device has finished.
    void DeleteWaveOut();

    // An empty queue means nothing plays.
    bool IsQueueEmpty() const { return queue_.empty(); }
    const std::list<WaveOutNode>& Queue() const { return queue_; }

    // False when another program holds the sound card; true otherwise, also
    // when there is no sound card at all.
    bool ProbeSoundCard();

    // Stops every sound, interruptible or not, and releases it. For the
    // program's end.
    void StopAllSounds();

private:
    using Node = std::list<WaveOutNode>::iterator;

    // Whether a sound of this program, or its recording, may be what keeps
    // `device` busy.
    bool HoldsOutputDevice(std::uint32_t device) const;

    // Asks whether the device takes the format, then opens it; false, with
    // the reason reported, when either fails.
    bool OpenOutput(platform::HWAVEOUT& handle, std::uint32_t device,
                    const platform::WAVEFORMATEX* format);
    // Prepares the buffer and hands it to the device; on failure the device
    // is closed again and the reason reported.
    bool StartOutput(platform::HWAVEOUT handle, platform::WAVEHDR& header);
    // Opens the device, waiting while it is busy (see BusyDeviceWait).
    platform::MMRESULT OpenOutputWhenFree(platform::HWAVEOUT& handle, std::uint32_t device,
                                          const platform::WAVEFORMATEX* format);
    // Releases finished sounds, then stops and releases the interruptible
    // sounds on one device only.
    void InterruptSoundsOn(std::uint32_t device);
    template <typename Predicate>
    void InterruptMatching(Predicate matches);

    // Unprepares, closes and frees a sound the device no longer plays.
    Node Release(Node node, std::string_view stepText);
    void ReportWaveError(platform::MMRESULT code, std::string_view stepText);

    platform::WaveDevices& devices_;
    platform::Clock& clock_;
    config::ErrorLog& log_;
    CallFlags& callFlags_;
    WaveRecorder& recorder_;
    std::list<WaveOutNode> queue_;
};

}  // namespace porthold::audio
