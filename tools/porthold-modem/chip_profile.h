#pragma once

// What sets one modem chip apart from another in its answers: its identity
// text, the sample formats it offers, the voice line states it lists, how it
// spells caller ID and which caller-ID command it takes.

#include <span>
#include <string_view>

#include "service/modem/voice_compression.h"

namespace porthold::modem_emulator {

enum class ChipProfile { Usr, Cx93001 };

// One line of the answer to AT+VSM=?. The emulator plays only formats of one
// byte a sample; the others are listed, as the chip lists them, but refused
// when chosen.
struct OfferedFormat {
    int number;
    std::string_view text;
    service::modem::SampleEncoding encoding;
    bool takes8000;
};

struct ChipTexts {
    std::string_view identity;
    std::span<const OfferedFormat> formats;
    std::span<const std::string_view> voiceLineStates;
    // Between a caller-ID tag and its value.
    std::string_view callerIdSeparator;
    bool takesVcid;
    bool takesHashCid;
};

const ChipTexts& TextsOf(ChipProfile chip);

// The format of that +VSM number, or null.
const OfferedFormat* FindFormat(const ChipTexts& chip, int number);
// The format a chip starts with: its first 8-bit linear one.
const OfferedFormat& DefaultFormat(const ChipTexts& chip);

}  // namespace porthold::modem_emulator
