#pragma once

// The wave audio vocabulary the program's audio code is written in: result
// codes, flags and structures keep their customary names, values and layouts,
// so code and log texts read the same as on any other wave audio platform.

#include <atomic>
#include <cstdint>

namespace porthold::platform {

using MMRESULT = std::uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

// Size of the text buffer the error-text functions are given.
inline constexpr std::uint32_t MAXERRORLENGTH = 256;

// The device identifier of the sound card.
inline constexpr std::uint32_t WAVE_MAPPER = 0xFFFFFFFFu;

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// Open flags. Devices never call back into the program: completion is found by
// polling WHDR_DONE, so CALLBACK_NULL is the only callback kind accepted.
inline constexpr std::uint32_t WAVE_FORMAT_QUERY = 0x00000001u;
inline constexpr std::uint32_t CALLBACK_NULL = 0x00000000u;

// Header flags.
inline constexpr std::uint32_t WHDR_DONE = 0x00000001u;
inline constexpr std::uint32_t WHDR_PREPARED = 0x00000002u;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x00000010u;

#pragma pack(push, 1)
// The 18-byte format block as it is stored in a WAVE file's "fmt " chunk. A
// PCM format chunk may stop after wBitsPerSample (16 bytes): devices read only
// those 16 bytes of a PCM format.
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// One buffer handed to a device. The device sets WHDR_DONE in dwFlags from its
// own thread when it has finished with the buffer (and, for input, has set
// dwBytesRecorded); the program polls it. dwFlags is atomic so that setting
// and polling need no lock, and the device writes everything else it writes
// before it sets WHDR_DONE. After setting WHDR_DONE the device no longer
// touches the header or its data.
struct WAVEHDR {
    char* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;
    std::atomic<std::uint32_t> dwFlags{0};
    std::uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    std::uintptr_t reserved = 0;
};

// Opaque handles of open devices. A handle is never reused, so a stale handle
// is recognised as such.
enum class HWAVEOUT : std::uintptr_t {};
enum class HWAVEIN : std::uintptr_t {};

}  // namespace porthold::platform
