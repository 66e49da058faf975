#include "audio/telephony_format.h"

#include <cstdint>
#include <vector>

#include "audio/chunk_reading.h"
#include "audio/wave_layout.h"
#include "platform/multimedia/multimedia_file.h"

namespace porthold::audio {

namespace {

std::uint32_t ReadLittleEndian(const std::vector<char>& bytes, std::size_t offset,
                               std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t index = width; index-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(bytes[offset + index]);
    }
    return value;
}

// The format chunk of a telephony file; the extra-size field is not looked at.
bool HoldsTelephonyFormat(const std::vector<char>& format) {
    if (format.size() < 16) {
        return false;
    }
    return ReadLittleEndian(format, 8, 4) == kTelephonyAverageBytesPerSecond &&
           ReadLittleEndian(format, 12, 2) == kTelephonyBlockAlign &&
           ReadLittleEndian(format, 2, 2) == kTelephonyChannels &&
           ReadLittleEndian(format, 4, 4) == kTelephonySamplesPerSecond &&
           ReadLittleEndian(format, 14, 2) == kTelephonyBitsPerSample &&
           ReadLittleEndian(format, 0, 2) == kTelephonyFormatTag;
}

}  // namespace

bool IsTelephonyFormat(const std::string& fileName, platform::MessageBoxes& messageBoxes) {
    platform::MultimediaFile file;
    if (file.Open(fileName, platform::MMIO_READ | platform::MMIO_ALLOCBUF) !=
        platform::MMSYSERR_NOERROR) {
        return false;
    }
    platform::MMCKINFO riff{};
    riff.fccType = kWaveFormType;
    platform::MMCKINFO formatChunk{};
    formatChunk.ckid = kFormatChunkId;
    if (file.Descend(riff, nullptr, platform::MMIO_FINDRIFF) != platform::MMSYSERR_NOERROR ||
        file.Descend(formatChunk, &riff, platform::MMIO_FINDCHUNK) != platform::MMSYSERR_NOERROR) {
        return false;
    }
    const ChunkBody format = ReadChunkBody(file, formatChunk.cksize);
    if (format.outcome != ChunkReadOutcome::Complete) {
        return false;
    }
    platform::MMCKINFO dataChunk{};
    dataChunk.ckid = kDataChunkId;
    if (file.Ascend(formatChunk, 0) != platform::MMSYSERR_NOERROR ||
        file.Descend(dataChunk, &riff, platform::MMIO_FINDCHUNK) != platform::MMSYSERR_NOERROR) {
        return false;
    }
    file.Close();
    const bool valid = HoldsTelephonyFormat(format.bytes);
    if (!valid) {
        messageBoxes.Show(kNotTelephonyFormatText, platform::kMessageBoxCaption,
                          platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Information);
    }
    return valid;
}

}  // namespace porthold::audio
