#include "telephony/tapi_buffer.h"

#include <cstring>

namespace porthold::telephony {

namespace {

constexpr std::size_t kTotalSizeOffset = 0;

}  // namespace

void TapiBuffer::Resize(DWORD size) {
    const std::size_t words = (static_cast<std::size_t>(size) + sizeof(DWORD) - 1) / sizeof(DWORD);
    // Bytes past the old size within the last kept word may hold the old
    // content; clear them so that everything beyond the old size reads zero.
    if (size > size_ && size_ % sizeof(DWORD) != 0) {
        auto* bytes = reinterpret_cast<unsigned char*>(words_.data());
        std::memset(bytes + size_, 0, sizeof(DWORD) - size_ % sizeof(DWORD));
    }
    words_.resize(words, 0);
    size_ = size;
    SetField(kTotalSizeOffset, size);
}

DWORD TapiBuffer::Field(std::size_t offset) const {
    if (offset + sizeof(DWORD) > size_) {
        return 0;
    }
    DWORD value = 0;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(words_.data()) + offset,
                sizeof(value));
    return value;
}

void TapiBuffer::SetField(std::size_t offset, DWORD value) {
    if (offset + sizeof(DWORD) > size_) {
        return;
    }
    std::memcpy(reinterpret_cast<unsigned char*>(words_.data()) + offset, &value, sizeof(value));
}

}  // namespace porthold::telephony
