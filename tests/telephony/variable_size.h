#pragma once

#include <cstddef>
#include <cstring>

#include "telephony/tapi.h"

namespace porthold::testing {

// How a stand-in service treats the caller's variable-size structures: it
// reads dwTotalSize, writes nothing beyond it, and reports dwNeededSize when
// the buffer is too small.
inline telephony::DWORD TotalSize(const void* structure) {
    telephony::DWORD size = 0;
    std::memcpy(&size, structure, sizeof(size));
    return size;
}

// Writes a field only where the caller's buffer reaches.
inline void Put(void* structure, std::size_t offset, telephony::DWORD value) {
    if (offset + sizeof(telephony::DWORD) <= TotalSize(structure)) {
        std::memcpy(static_cast<unsigned char*>(structure) + offset, &value, sizeof(value));
    }
}

// True when the caller's buffer holds `needed` bytes; otherwise tells the
// caller what it needs.
inline bool HasRoom(void* structure, telephony::DWORD needed) {
    if (TotalSize(structure) >= needed) {
        return true;
    }
    Put(structure, offsetof(telephony::VARSTRING, dwNeededSize), needed);
    return false;
}

}  // namespace porthold::testing
