#include "audio/wave_player.h"

#include <new>
#include <optional>
#include <utility>

#include "audio/busy_device_wait.h"
#include "audio/chunk_reading.h"
#include "audio/wave_error_report.h"
#include "audio/wave_layout.h"
#include "audio/wave_recorder.h"
#include "platform/multimedia/multimedia_file.h"

namespace porthold::audio {

using platform::MMRESULT;
using platform::MMSYSERR_ALLOCATED;
using platform::MMSYSERR_NOERROR;

namespace {

bool IsDone(const WaveOutNode& node) {
    return (node.header->dwFlags.load() & platform::WHDR_DONE) != 0;
}

// What the device needs of a WAVE file: its format block, never shorter than
// a WAVEFORMATEX, and the whole "data" chunk.
struct WaveFileContents {
    std::vector<char> format;
    std::vector<char> data;
};

// Reads a chunk's body whole into `bytes`; false, with the reason logged, when
// it cannot. `name` says which chunk it is in the log.
bool ReadWholeChunk(platform::MultimediaFile& file, const platform::MMCKINFO& chunk,
                    std::size_t minimumLength, std::string_view name, config::ErrorLog& log,
                    std::vector<char>& bytes) {
    ChunkBody body = ReadChunkBody(file, chunk.cksize, minimumLength);
    if (body.outcome == ChunkReadOutcome::OutOfMemory) {
        log.LogError("PlayWaveOut: could not allocate wave " + std::string(name));
        return false;
    }
    if (body.outcome == ChunkReadOutcome::Short) {
        log.LogError("PlayWaveOut: " + std::string(name) + " size mismatch");
        return false;
    }
    bytes = std::move(body.bytes);
    return true;
}

// Reads the format and the samples; none, with the reason logged, when the
// file is no WAVE file the device can be handed. A missing file is not logged.
std::optional<WaveFileContents> ReadWaveFile(const std::string& fileName, config::ErrorLog& log) {
    platform::MultimediaFile file;
    if (file.Open(fileName, platform::MMIO_READ | platform::MMIO_ALLOCBUF) != MMSYSERR_NOERROR) {
        return std::nullopt;
    }
    // Every early return below closes the file through its destructor.
    WaveFileContents contents;
    platform::MMCKINFO riff{};
    riff.fccType = kWaveFormType;
    if (file.Descend(riff, nullptr, platform::MMIO_FINDRIFF) != MMSYSERR_NOERROR) {
        log.LogError("PlayWaveOut: mmioDescend parent findriff");
        return std::nullopt;
    }
    platform::MMCKINFO formatChunk{};
    formatChunk.ckid = kFormatChunkId;
    if (file.Descend(formatChunk, &riff, platform::MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
        log.LogError("PlayWaveOut: mmioDescend parent findchunk");
        return std::nullopt;
    }
    // The device is handed the block as a WAVEFORMATEX, so it is never
    // shorter than one, whatever the file's chunk holds.
    if (!ReadWholeChunk(file, formatChunk, sizeof(platform::WAVEFORMATEX), "format", log,
                        contents.format)) {
        return std::nullopt;
    }
    if (file.Ascend(formatChunk, 0) != MMSYSERR_NOERROR) {
        log.LogError("PlayWaveOut: mmioAscend");
        return std::nullopt;
    }
    // Searched from the end of the format chunk on: "data" must follow "fmt ".
    platform::MMCKINFO dataChunk{};
    dataChunk.ckid = kDataChunkId;
    if (file.Descend(dataChunk, &riff, platform::MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
        log.LogError("PlayWaveOut: mmioDescend parent findchunk");
        return std::nullopt;
    }
    if (dataChunk.cksize == 0) {
        log.LogError("PlayWaveOut: null data size");
        return std::nullopt;
    }
    if (!ReadWholeChunk(file, dataChunk, 0, "data", log, contents.data)) {
        return std::nullopt;
    }
    if (file.Close() != MMSYSERR_NOERROR) {
        log.LogError("PlayWaveOut: mmioClose");
        return std::nullopt;
    }
    return contents;
}

}  // namespace

WavePlayer::WavePlayer(platform::WaveDevices& devices, platform::Clock& clock,
                       config::ErrorLog& log, CallFlags& callFlags, WaveRecorder& recorder)
    : devices_(devices), clock_(clock), log_(log), callFlags_(callFlags), recorder_(recorder) {}

WavePlayer::~WavePlayer() {
    StopAllSounds();
}

bool WavePlayer::PlayWaveOut(const std::string& fileName, std::uint32_t device,
                             Interruptible interruptible) {
    std::optional<WaveFileContents> contents = ReadWaveFile(fileName, log_);
    if (!contents) {
        return false;
    }
    std::unique_ptr<platform::WAVEHDR> header(new (std::nothrow) platform::WAVEHDR{});
    if (!header) {
        log_.LogError("PlayWaveOut: could not allocate wave header");
        return false;
    }
    header->lpData = contents->data.data();
    header->dwBufferLength = static_cast<std::uint32_t>(contents->data.size());

    platform::HWAVEOUT handle{};
    const auto* format = reinterpret_cast<const platform::WAVEFORMATEX*>(contents->format.data());
    if (!OpenOutput(handle, device, format)) {
        return false;
    }
    contents->format = {};
    if (!StartOutput(handle, *header)) {
        return false;
    }
    WaveOutNode* node = nullptr;
    try {
        node = &queue_.emplace_back();
    } catch (const std::bad_alloc&) {
        log_.LogError("PlayWaveOut: could not insert wave out node");
        devices_.OutReset(handle);
        devices_.OutUnprepareHeader(handle, header.get());
        devices_.OutClose(handle);
        return false;
    }
    node->handle = handle;
    node->device = device;
    node->header = std::move(header);
    // Moving the vector keeps its buffer, which header->lpData points into.
    node->data = std::move(contents->data);
    node->interruptible = interruptible;
    return true;
}

bool WavePlayer::OpenOutput(platform::HWAVEOUT& handle, std::uint32_t device,
                            const platform::WAVEFORMATEX* format) {
    MMRESULT result = devices_.OutOpen(nullptr, device, format, 0, 0, platform::WAVE_FORMAT_QUERY);
    if (result == MMSYSERR_NOERROR) {
        result = OpenOutputWhenFree(handle, device, format);
    }
    if (result != MMSYSERR_NOERROR) {
        ReportWaveError(result, "PlayWaveOut");
        return false;
    }
    return true;
}

bool WavePlayer::StartOutput(platform::HWAVEOUT handle, platform::WAVEHDR& header) {
    MMRESULT result = devices_.OutPrepareHeader(handle, &header);
    if (result != MMSYSERR_NOERROR) {
        ReportWaveError(result, "PlayWaveOut");
        devices_.OutClose(handle);
        return false;
    }
    result = devices_.OutWrite(handle, &header);
    if (result != MMSYSERR_NOERROR && result != MMSYSERR_ALLOCATED) {
        ReportWaveError(result, "PlayWaveOut");
        devices_.OutUnprepareHeader(handle, &header);
        devices_.OutClose(handle);
        return false;
    }
    return true;
}

MMRESULT WavePlayer::OpenOutputWhenFree(platform::HWAVEOUT& handle, std::uint32_t device,
                                        const platform::WAVEFORMATEX* format) {
    MMRESULT result = devices_.OutOpen(&handle, device, format, 0, 0, platform::CALLBACK_NULL);
    BusyDeviceWait wait(clock_);
    while (result == MMSYSERR_ALLOCATED) {
        // Our own interruptible sounds on this device and the recording give
        // way at once; a sound that is not interruptible is released here as
        // soon as it has ended. Sounds on other devices play on: a ring that
        // waits for the line must not silence the caller's sound on the card.
        InterruptSoundsOn(device);
        recorder_.StopRecording();
        result = devices_.OutOpen(&handle, device, format, 0, 0, platform::CALLBACK_NULL);
        if (result != MMSYSERR_ALLOCATED) {
            break;
        }
        const auto holder = HoldsOutputDevice(device) ? BusyDeviceWait::Holder::ThisProgram
                                                      : BusyDeviceWait::Holder::Unknown;
        if (!wait.PauseBeforeRetry(holder)) {
            break;
        }
    }
    return result;
}

bool WavePlayer::HoldsOutputDevice(std::uint32_t device) const {
    for (const WaveOutNode& node : queue_) {
        if (node.device == device) {
            return true;
        }
    }
    // A voice modem's line is half-duplex: its recording keeps its output busy.
    return recorder_.HasBuffers();
}

void WavePlayer::DeleteWaveOut() {
    for (Node node = queue_.begin(); node != queue_.end();) {
        node = IsDone(*node) ? Release(node, "DeleteWaveOut") : std::next(node);
    }
}

void WavePlayer::InterruptWaveOut() {
    DeleteWaveOut();
    InterruptMatching([](const WaveOutNode&) { return true; });
}

void WavePlayer::InterruptSoundsOn(std::uint32_t device) {
    DeleteWaveOut();
    InterruptMatching([device](const WaveOutNode& node) { return node.device == device; });
}

template <typename Predicate>
void WavePlayer::InterruptMatching(Predicate matches) {
    for (Node node = queue_.begin(); node != queue_.end();) {
        if (node->interruptible == Interruptible::Yes && matches(*node)) {
            devices_.OutReset(node->handle);
            node = Release(node, "InterruptWaveOut");
        } else {
            ++node;
        }
    }
}

WavePlayer::Node WavePlayer::Release(Node node, std::string_view stepText) {
    const MMRESULT result = devices_.OutUnprepareHeader(node->handle, node->header.get());
    if (result != MMSYSERR_NOERROR) {
        ReportWaveError(result, stepText);
    }
    devices_.OutClose(node->handle);
    // Remote retrieval plays one sound at a time, so the end of any sound
    // while a message plays means the message is over.
    if (callFlags_.IsRetrieving() && callFlags_.IsMessagePlaying()) {
        callFlags_.SetMessageFinished();
    }
    return queue_.erase(node);
}

void WavePlayer::StopAllSounds() {
    for (WaveOutNode& node : queue_) {
        devices_.OutReset(node.handle);
        devices_.OutUnprepareHeader(node.handle, node.header.get());
        devices_.OutClose(node.handle);
    }
    queue_.clear();
}

bool WavePlayer::ProbeSoundCard() {
    const platform::WAVEFORMATEX format = TelephonyWaveFormat();
    platform::HWAVEOUT handle{};
    const MMRESULT result =
        devices_.OutOpen(&handle, platform::WAVE_MAPPER, &format, 0, 0, platform::CALLBACK_NULL);
    if (result == MMSYSERR_ALLOCATED) {
        return false;
    }
    if (result == MMSYSERR_NOERROR) {
        devices_.OutReset(handle);
        devices_.OutClose(handle);
    }
    return true;
}

void WavePlayer::ReportWaveError(MMRESULT code, std::string_view stepText) {
    audio::ReportWaveError(devices_, log_, code, stepText, WaveErrorKind::Output);
}

}  // namespace porthold::audio
