#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "telephony/tapi.h"

namespace porthold::service {

using telephony::DWORD;
using telephony::LONG;

// Answers a request for one of the variable-size structures (LINEDEVCAPS,
// LINEDEVSTATUS, PHONECAPS, VARSTRING...) the way the interface defines it:
// the caller's dwTotalSize says how much room there is, and nothing is
// written beyond it.
//
// - Less room than the fixed part: only dwNeededSize is set (where the buffer
//   reaches it) and the request fails with the "structure too small" error.
// - Room for the fixed part but not for the variable parts: the fixed part is
//   filled, the variable parts are left out (their sizes and offsets 0), and
//   dwNeededSize tells how much a complete answer needs.
// - Room for everything: the complete answer.
class StructureBuilder {
public:
    // `fixedPart` holds the structure's fixed part as answered; `fixedSize` may
    // be smaller than the type (older interface versions have shorter
    // structures).
    StructureBuilder(const void* fixedPart, DWORD fixedSize);

    // Appends a variable part and points the structure's size and offset fields
    // (byte offsets of those DWORD fields) at it. A part whose fields lie beyond
    // the fixed size does not exist in that version and is left out.
    void AddVariablePart(std::size_t sizeField, std::size_t offsetField,
                         std::span<const std::uint8_t> bytes);

    DWORD FixedSize() const { return fixedSize_; }
    DWORD NeededSize() const { return static_cast<DWORD>(bytes_.size()); }

    // Writes the answer into `target`, whose first DWORD is dwTotalSize;
    // returns 0 or `tooSmallError`.
    LONG WriteTo(void* target, LONG tooSmallError) const;

private:
    struct Part {
        std::size_t sizeField;
        std::size_t offsetField;
    };

    void SetField(std::size_t offset, DWORD value);

    DWORD fixedSize_;
    std::vector<std::uint8_t> bytes_;
    std::vector<Part> parts_;
};

// The bytes of a string as the wide ("W") functions answer it: 16-bit
// characters, ending in a zero character.
std::vector<std::uint8_t> WideStringBytes(std::string_view text);

// The bytes of a string as the narrow ("A") functions answer it, with its zero.
std::vector<std::uint8_t> NarrowStringBytes(std::string_view text);

// A list of names, each ending in a zero, the list ending in one more zero.
std::vector<std::uint8_t> WideStringListBytes(std::span<const std::string_view> names);
std::vector<std::uint8_t> NarrowStringListBytes(std::span<const std::string_view> names);

// Sets dwNeededSize (where the structure reaches it) and returns `error`: the
// answer to a structure too small for its fixed part.
LONG AnswerTooSmall(void* structure, DWORD neededSize, LONG error);

// The caller's dwTotalSize; 0 for a null structure.
DWORD TotalSizeOf(const void* structure);

}  // namespace porthold::service
