#include "service/structure_builder.h"

#include <cstring>

namespace porthold::service {
namespace {

constexpr std::size_t kNeededSizeOffset = 4;
constexpr std::size_t kUsedSizeOffset = 8;

void PadToDword(std::vector<std::uint8_t>& bytes) {
    while (bytes.size() % sizeof(DWORD) != 0) {
        bytes.push_back(0);
    }
}

}  // namespace

StructureBuilder::StructureBuilder(const void* fixedPart, DWORD fixedSize)
    : fixedSize_(fixedSize), bytes_(fixedSize) {
    std::memcpy(bytes_.data(), fixedPart, fixedSize);
    SetField(kNeededSizeOffset, fixedSize);
    SetField(kUsedSizeOffset, fixedSize);
}

void StructureBuilder::SetField(std::size_t offset, DWORD value) {
    std::memcpy(bytes_.data() + offset, &value, sizeof(value));
}

void StructureBuilder::AddVariablePart(std::size_t sizeField, std::size_t offsetField,
                                       std::span<const std::uint8_t> bytes) {
    if (sizeField + sizeof(DWORD) > fixedSize_ || offsetField + sizeof(DWORD) > fixedSize_) {
        return;
    }
    // Parts start on DWORD boundaries, so that a caller may read them in place.
    PadToDword(bytes_);
    SetField(sizeField, static_cast<DWORD>(bytes.size()));
    SetField(offsetField, static_cast<DWORD>(bytes_.size()));
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    parts_.push_back(Part{sizeField, offsetField});
    SetField(kNeededSizeOffset, NeededSize());
    SetField(kUsedSizeOffset, NeededSize());
}

LONG StructureBuilder::WriteTo(void* target, LONG tooSmallError) const {
    auto* out = static_cast<std::uint8_t*>(target);
    const DWORD total = TotalSizeOf(target);
    const DWORD needed = NeededSize();
    if (total < fixedSize_) {
        return AnswerTooSmall(target, needed, tooSmallError);
    }
    // dwTotalSize is the caller's and stays as it was.
    if (total >= needed) {
        std::memcpy(out + sizeof(DWORD), bytes_.data() + sizeof(DWORD), needed - sizeof(DWORD));
        return 0;
    }
    std::vector<std::uint8_t> fixedOnly(bytes_.begin(), bytes_.begin() + fixedSize_);
    const DWORD zero = 0;
    for (const Part& part : parts_) {
        std::memcpy(fixedOnly.data() + part.sizeField, &zero, sizeof(zero));
        std::memcpy(fixedOnly.data() + part.offsetField, &zero, sizeof(zero));
    }
    std::memcpy(fixedOnly.data() + kNeededSizeOffset, &needed, sizeof(needed));
    std::memcpy(fixedOnly.data() + kUsedSizeOffset, &fixedSize_, sizeof(fixedSize_));
    std::memcpy(out + sizeof(DWORD), fixedOnly.data() + sizeof(DWORD), fixedSize_ - sizeof(DWORD));
    return 0;
}

std::vector<std::uint8_t> WideStringBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    for (const char character : text) {
        bytes.push_back(static_cast<std::uint8_t>(character));
        bytes.push_back(0);
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> NarrowStringBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> WideStringListBytes(std::span<const std::string_view> names) {
    std::vector<std::uint8_t> bytes;
    for (const std::string_view name : names) {
        const std::vector<std::uint8_t> one = WideStringBytes(name);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> NarrowStringListBytes(std::span<const std::string_view> names) {
    std::vector<std::uint8_t> bytes;
    for (const std::string_view name : names) {
        const std::vector<std::uint8_t> one = NarrowStringBytes(name);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.push_back(0);
    return bytes;
}

LONG AnswerTooSmall(void* structure, DWORD neededSize, LONG error) {
    if (TotalSizeOf(structure) >= kNeededSizeOffset + sizeof(DWORD)) {
        std::memcpy(static_cast<std::uint8_t*>(structure) + kNeededSizeOffset, &neededSize,
                    sizeof(neededSize));
    }
    return error;
}

DWORD TotalSizeOf(const void* structure) {
    DWORD total = 0;
    if (structure != nullptr) {
        std::memcpy(&total, structure, sizeof(total));
    }
    return total;
}

}  // namespace porthold::service
