#include "audio/wave_recorder.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "audio/busy_device_wait.h"
#include "audio/chunk_reading.h"
#include "audio/wave_error_report.h"
#include "audio/wave_layout.h"
#include "audio/wave_player.h"

namespace porthold::audio {

using platform::MMRESULT;
using platform::MMSYSERR_ALLOCATED;
using platform::MMSYSERR_NOERROR;

namespace {

bool IsDone(const platform::WAVEHDR& header) {
    return (header.dwFlags.load() & platform::WHDR_DONE) != 0;
}

// A buffer is silent when at least 97.5% of its bytes are quiet: 1950 of a
// full buffer's 2000. A byte, taken as a signed 8-bit value b, is quiet when
// -level < b < level, so a 16-bit sample below the level is quiet in both
// bytes and loud samples almost never are. A part-filled buffer handed back
// at the stop is held to the same share (quiet * 2000 >= 1950 * recorded), so
// a cut-off word is kept and a cut-off pause is not.
bool IsSilent(std::span<const char> samples, std::int32_t level) {
    std::uint64_t quiet = 0;
    for (const char byte : samples) {
        const int value = static_cast<signed char>(byte);
        if (-level < value && value < level) {
            ++quiet;
        }
    }
    return quiet * WaveRecorder::kBufferBytes >= std::uint64_t{1950} * samples.size();
}

std::span<const char> RecordedBytes(const platform::WAVEHDR& header,
                                    const std::vector<char>& data) {
    const std::size_t recorded = std::min<std::size_t>(header.dwBytesRecorded, data.size());
    return std::span<const char>(data.data(), recorded);
}

// A new recording file: its header written, the position in its "data"
// chunk, and the two chunks whose sizes the stop fixes.
struct RecordingFile {
    std::unique_ptr<platform::MultimediaFile> file;
    platform::MMCKINFO riff{};
    platform::MMCKINFO data{};
};

// Creates the file and writes everything up to the samples; none, with the
// reason logged, when that fails. A file that cannot be created is not logged.
std::optional<RecordingFile> CreateRecordingFile(const std::string& fileName,
                                                 config::ErrorLog& log) {
    RecordingFile recording{std::make_unique<platform::MultimediaFile>()};
    platform::MultimediaFile& file = *recording.file;
    if (file.Open(fileName, platform::MMIO_CREATE | platform::MMIO_WRITE |
                                platform::MMIO_EXCLUSIVE | platform::MMIO_ALLOCBUF) !=
        MMSYSERR_NOERROR) {
        return std::nullopt;
    }
    // Every early return below closes the file through its destructor; it
    // stays on disk with size fields that do not describe it.
    recording.riff.fccType = kWaveFormType;
    if (file.CreateChunk(recording.riff, platform::MMIO_CREATERIFF) != MMSYSERR_NOERROR) {
        log.LogError("RecordSound: mmioCreateChunk parent");
        return std::nullopt;
    }
    const platform::WAVEFORMATEX format = TelephonyWaveFormat();
    // The provisional size counts the extra bytes the format announces; the
    // ascend below writes the true 18.
    platform::MMCKINFO formatChunk{};
    formatChunk.ckid = kFormatChunkId;
    formatChunk.cksize = sizeof(platform::WAVEFORMATEX) + format.cbSize;
    if (file.CreateChunk(formatChunk, 0) != MMSYSERR_NOERROR) {
        log.LogError("RecordSound: mmioCreateChunk child");
        return std::nullopt;
    }
    if (file.Write(&format, sizeof(format)) <= 0) {
        log.LogError("RecordSound: mmioWrite");
        return std::nullopt;
    }
    if (file.Ascend(formatChunk, 0) != MMSYSERR_NOERROR) {
        log.LogError("RecordSound: mmioAscend");
        return std::nullopt;
    }
    recording.data.ckid = kDataChunkId;
    if (file.CreateChunk(recording.data, 0) != MMSYSERR_NOERROR) {
        log.LogError("RecordSound: mmioCreateChunk child");
        return std::nullopt;
    }
    // On disk now, so that a disk that fills during the recording finds the
    // header whole.
    if (file.Flush() != MMSYSERR_NOERROR) {
        log.LogError("RecordSound: mmioWrite");
        return std::nullopt;
    }
    return recording;
}

}  // namespace

WaveRecorder::WaveRecorder(platform::WaveDevices& devices, platform::Clock& clock,
                           config::ErrorLog& log, const config::Settings& settings,
                           CallFlags& callFlags, WavePlayer& player)
    : devices_(devices),
      clock_(clock),
      log_(log),
      settings_(settings),
      callFlags_(callFlags),
      player_(player) {}

WaveRecorder::~WaveRecorder() {
    ReleaseBuffers();
}

void WaveRecorder::ResetCounts() {
    writtenBufferCount_ = 0;
    silentRunCount_ = 0;
}

bool WaveRecorder::RecordSound(const std::string& fileName, std::uint32_t device,
                               SilenceDetection detectSilence) {
    // A recording still listed is finished before the new file is created: it
    // may be the very same file (the settings dialog records every greeting
    // into one temporary file), which the old handle would then overwrite.
    if (!buffers_.empty()) {
        StopRecording();
        if (!buffers_.empty()) {
            log_.LogError("RecordSound: earlier recording could not be stopped");
            return false;
        }
    }
    std::optional<RecordingFile> recording = CreateRecordingFile(fileName, log_);
    if (!recording) {
        return false;
    }
    platform::HWAVEIN handle{};
    if (!OpenInput(handle, device, TelephonyWaveFormat())) {
        return false;
    }
    handle_ = handle;
    file_ = std::move(recording->file);
    riffChunk_ = recording->riff;
    dataChunk_ = recording->data;
    detectSilence_ = detectSilence;
    keptDataBytes_ = 0;
    writeFailed_ = false;
    return StartInput();
}

bool WaveRecorder::OpenInput(platform::HWAVEIN& handle, std::uint32_t device,
                             const platform::WAVEFORMATEX& format) {
    // Only a device held elsewhere fails the query; whatever else it says,
    // the open decides.
    MMRESULT result = devices_.InOpen(nullptr, device, &format, 0, 0, platform::WAVE_FORMAT_QUERY);
    if (result != MMSYSERR_ALLOCATED) {
        result = OpenInputWhenFree(handle, device, format);
    }
    if (result != MMSYSERR_NOERROR) {
        ReportWaveError(result, "RecordSound");
        return false;
    }
    return true;
}

bool WaveRecorder::StartInput() {
    for (int index = 0; index < kBufferCount; ++index) {
        if (!AddRecordingBuffer()) {
            AbandonRecording();
            return false;
        }
    }
    recording_ = true;
    const MMRESULT result = devices_.InStart(handle_);
    if (result != MMSYSERR_NOERROR) {
        ReportWaveError(result, "RecordSound");
        recording_ = false;
        devices_.InStop(handle_);
        AbandonRecording();
        return false;
    }
    return true;
}

MMRESULT WaveRecorder::OpenInputWhenFree(platform::HWAVEIN& handle, std::uint32_t device,
                                         const platform::WAVEFORMATEX& format) {
    MMRESULT result = devices_.InOpen(&handle, device, &format, 0, 0, platform::CALLBACK_NULL);
    BusyDeviceWait wait(clock_);
    while (result == MMSYSERR_ALLOCATED) {
        // On a voice modem the prompt playing to the caller holds the line:
        // an interruptible one is cut off, one that is not is waited for.
        player_.InterruptWaveOut();
        StopRecording();
        result = devices_.InOpen(&handle, device, &format, 0, 0, platform::CALLBACK_NULL);
        if (result != MMSYSERR_ALLOCATED) {
            break;
        }
        const auto holder = !player_.IsQueueEmpty() || HasBuffers()
                                ? BusyDeviceWait::Holder::ThisProgram
                                : BusyDeviceWait::Holder::Unknown;
        if (!wait.PauseBeforeRetry(holder)) {
            break;
        }
    }
    return result;
}

bool WaveRecorder::AddRecordingBuffer() {
    RecorderBufferNode* buffer = nullptr;
    try {
        buffer = &buffers_.emplace_back();
        buffer->data.assign(kBufferBytes, 0);
        buffer->header = std::make_unique<platform::WAVEHDR>();
    } catch (const std::bad_alloc&) {
        return false;
    }
    buffer->header->lpData = buffer->data.data();
    buffer->header->dwBufferLength = kBufferBytes;
    MMRESULT result = devices_.InPrepareHeader(handle_, buffer->header.get());
    if (result == MMSYSERR_NOERROR) {
        result = QueueBuffer(*buffer);
    }
    if (result != MMSYSERR_NOERROR) {
        ReportWaveError(result, "RecordSound");
        return false;
    }
    return true;
}

MMRESULT WaveRecorder::QueueBuffer(RecorderBufferNode& buffer) {
    const MMRESULT result = devices_.InAddBuffer(handle_, buffer.header.get());
    if (result == MMSYSERR_NOERROR) {
        buffer.place = BufferPlace::WithDevice;
        buffer.queuedSequence = nextQueuedSequence_++;
    }
    return result;
}

void WaveRecorder::Rebuffer() {
    for (RecorderBufferNode& buffer : buffers_) {
        if (buffer.place != BufferPlace::WithDevice || !IsDone(*buffer.header)) {
            continue;
        }
        buffer.place = BufferPlace::WithProgram;
        MMRESULT result = devices_.InUnprepareHeader(handle_, buffer.header.get());
        if (result != MMSYSERR_NOERROR) {
            ReportWaveError(result, "Rebuffer");
        }
        KeepFilledBuffer(buffer);
        if (!recording_) {
            continue;
        }
        std::fill(buffer.data.begin(), buffer.data.end(), 0);
        result = devices_.InPrepareHeader(handle_, buffer.header.get());
        if (result != MMSYSERR_NOERROR) {
            ReportWaveError(result, "Rebuffer");
            continue;
        }
        result = QueueBuffer(buffer);
        if (result != MMSYSERR_NOERROR) {
            // The device is gone (a sound card pulled out) and has handed
            // every buffer back; they are kept by this pass, and none is
            // queued again.
            ReportWaveError(result, "Rebuffer");
            EndAfterFailure();
        }
    }
}

void WaveRecorder::KeepFilledBuffer(RecorderBufferNode& buffer) {
    const std::span<const char> samples = RecordedBytes(*buffer.header, buffer.data);
    // A buffer handed back empty holds neither sound nor silence.
    if (samples.empty()) {
        return;
    }
    if (!DetectsSilence()) {
        if (!WriteSamples(samples, "Rebuffer: mmioWrite")) {
            EndAfterFailure();
            return;
        }
        ++writtenBufferCount_;
        // Message taking (as opposed to a recording the user stops) still
        // ends at the longest message.
        if (detectSilence_ == SilenceDetection::On &&
            writtenBufferCount_ >= kLongestMessageBuffers) {
            EndMessage();
        }
        return;
    }
    if (IsSilent(samples, settings_.SilenceLevel)) {
        ++silentRunCount_;
    } else {
        if (!WriteSamples(samples, "Rebuffer: mmioWrite")) {
            EndAfterFailure();
            return;
        }
        ++writtenBufferCount_;
        silentRunCount_ = 0;
    }
    if (silentRunCount_ >= kSilentRunLimit || writtenBufferCount_ >= kWrittenBufferLimit) {
        EndMessage();
    }
}

void WaveRecorder::EndMessage() {
    recording_ = false;
    callFlags_.RequestHangUp();
}

bool WaveRecorder::DetectsSilence() const {
    return detectSilence_ == SilenceDetection::On && settings_.SilenceLevel > 0;
}

void WaveRecorder::EndAfterFailure() {
    if (detectSilence_ == SilenceDetection::On) {
        EndMessage();
    } else {
        recording_ = false;
    }
}

bool WaveRecorder::WriteSamples(std::span<const char> samples, std::string_view stepText) {
    // Each buffer goes to disk at once, so that the samples kept are known
    // when the disk fills. After a failure nothing more is written: sound
    // written once space came back would be spliced onto the words before.
    if (writeFailed_) {
        return false;
    }
    if (file_->Write(samples.data(), static_cast<std::int32_t>(samples.size())) < 0 ||
        file_->Flush() != MMSYSERR_NOERROR) {
        writeFailed_ = true;
        log_.LogError(stepText);
        return false;
    }
    keptDataBytes_ += samples.size();
    return true;
}

bool WaveRecorder::StopRecording() {
    const bool wasRecording = recording_;
    recording_ = false;
    if (buffers_.empty()) {
        return true;
    }
    devices_.InReset(handle_);
    for (RecorderBufferNode& buffer : buffers_) {
        devices_.InUnprepareHeader(handle_, buffer.header.get());
    }
    devices_.InClose(handle_);
    const bool allReturned = std::all_of(buffers_.begin(), buffers_.end(), [](const auto& buffer) {
        return buffer.place == BufferPlace::WithProgram || IsDone(*buffer.header);
    });
    if (!allReturned) {
        return false;
    }
    // A recording that ended at its silence or length limit is complete;
    // whatever came in after that is not part of it.
    if (wasRecording) {
        KeepReturnedAudio();
    }
    // A partly written buffer is cut off, so that the sizes describe the file.
    if (writeFailed_ &&
        file_->TruncateAt(dataChunk_.dwDataOffset + keptDataBytes_) != MMSYSERR_NOERROR) {
        log_.LogError("StopRecording: mmioSeek");
    }
    if (file_->Ascend(dataChunk_, 0) != MMSYSERR_NOERROR) {
        log_.LogError("StopRecording: mmioAscend child");
    }
    if (file_->Ascend(riffChunk_, 0) != MMSYSERR_NOERROR) {
        log_.LogError("StopRecording: mmioAscend parent");
    }
    if (file_->Close() != MMSYSERR_NOERROR) {
        log_.LogError("StopRecording: mmioClose");
    }
    buffers_.clear();
    file_.reset();
    handle_ = {};
    return true;
}

void WaveRecorder::KeepReturnedAudio() {
    // The last words of a message are in the buffer being filled when the
    // caller hangs up, and a buffer may have completed since the last tick.
    // The counts are left alone: the engine has already reset them for the
    // next call when it stops a message.
    std::vector<const RecorderBufferNode*> returned;
    for (const RecorderBufferNode& buffer : buffers_) {
        if (buffer.place == BufferPlace::WithDevice && buffer.header->dwBytesRecorded > 0) {
            returned.push_back(&buffer);
        }
    }
    std::sort(returned.begin(), returned.end(), [](const auto* first, const auto* second) {
        return first->queuedSequence < second->queuedSequence;
    });
    for (const RecorderBufferNode* buffer : returned) {
        const std::span<const char> samples = RecordedBytes(*buffer->header, buffer->data);
        if (DetectsSilence() && IsSilent(samples, settings_.SilenceLevel)) {
            continue;
        }
        WriteSamples(samples, "StopRecording: mmioWrite");
    }
}

void WaveRecorder::ReleaseBuffers() {
    recording_ = false;
    if (!buffers_.empty()) {
        // A reset hands every queued buffer back before it returns, so none is
        // freed while the device may still fill it.
        AbandonRecording();
    }
}

void WaveRecorder::AbandonRecording() {
    devices_.InReset(handle_);
    for (RecorderBufferNode& buffer : buffers_) {
        devices_.InUnprepareHeader(handle_, buffer.header.get());
    }
    devices_.InClose(handle_);
    buffers_.clear();
    if (file_) {
        file_->Close();
        file_.reset();
    }
    handle_ = {};
}

void WaveRecorder::ReportWaveError(MMRESULT code, std::string_view stepText) {
    audio::ReportWaveError(devices_, log_, code, stepText, WaveErrorKind::Input);
}

}  // namespace porthold::audio
