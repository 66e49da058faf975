#pragma once

#include <cstddef>
#include <vector>

#include "telephony/tapi.h"

namespace porthold::telephony {

// Storage for one of the variable-size telephony structures (LINEDEVCAPS,
// LINEDEVSTATUS, the initialisation parameters and the like): zero-filled,
// aligned for DWORD fields, with dwTotalSize kept equal to its size. The
// service may be handed a buffer smaller than the structure's fixed part, so
// fields are read through Field, which answers 0 for a field the buffer does
// not reach.
class TapiBuffer {
public:
    TapiBuffer() = default;
    explicit TapiBuffer(DWORD size) { Resize(size); }

    DWORD Size() const { return size_; }

    // Changes the size, keeping the content the new size covers and zero-filling
    // the rest; dwTotalSize becomes the new size.
    void Resize(DWORD size);

    // The DWORD field at byte `offset` (offsetof the structure's field), or 0
    // when the buffer ends before it.
    DWORD Field(std::size_t offset) const;
    // Writes the field when the buffer reaches it.
    void SetField(std::size_t offset, DWORD value);

    // The buffer as the structure the service fills in; the service reads
    // dwTotalSize before anything else.
    template <typename Structure>
    Structure* As() {
        return reinterpret_cast<Structure*>(words_.data());
    }

private:
    std::vector<DWORD> words_;
    DWORD size_ = 0;
};

}  // namespace porthold::telephony
