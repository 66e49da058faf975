#include "chip_profile.h"

#include <array>

namespace porthold::modem_emulator {
namespace {

using service::modem::SampleEncoding;

constexpr std::array kUsrFormats{
    OfferedFormat{128, R"(128,"8-BIT LINEAR",(7200,8000,11025))", SampleEncoding::UnsignedLinear8,
                  true},
    OfferedFormat{129, R"(129,"16-BIT LINEAR",(7200,8000,11025))", SampleEncoding::Other, true},
    OfferedFormat{130, R"(130,"8-BIT ALAW",(8000))", SampleEncoding::ALaw, true},
    OfferedFormat{131, R"(131,"8-BIT ULAW",(8000))", SampleEncoding::MuLaw, true},
};

constexpr std::array kCx93001Formats{
    OfferedFormat{1, R"(1,"UNSIGNED PCM",8,0,(7200,8000,11025),(0),(0))",
                  SampleEncoding::UnsignedLinear8, true},
    OfferedFormat{2, R"(2,"D,4",4,0,(7200,8000,11025),(0),(0))", SampleEncoding::Other, true},
    OfferedFormat{130, R"(130,"UNSIGNED PCM",8,0,(7200,8000,11025),(0),(0))",
                  SampleEncoding::UnsignedLinear8, true},
    OfferedFormat{131, R"(131,"G.711U",8,0,(8000),(0),(0))", SampleEncoding::MuLaw, true},
    OfferedFormat{132, R"(132,"G.711A",8,0,(8000),(0),(0))", SampleEncoding::ALaw, true},
    OfferedFormat{133, R"(133,"SIGNED PCM",16,0,(7200,8000,11025),(0),(0))", SampleEncoding::Other,
                  true},
};

constexpr std::array<std::string_view, 1> kUsrVoiceLineStates{"0,1,4,5"};

constexpr std::array<std::string_view, 3> kCx93001VoiceLineStates{
    R"(0,"",00000000,00000000,00000000)",
    R"(1,"T",0F000000,00000000,00000000)",
    R"(5,"L",00000000,00000000,00000000)",
};

const ChipTexts kUsr{"Porthold emulated voice modem, USR-style chip",
                     kUsrFormats,
                     kUsrVoiceLineStates,
                     " = ",
                     false,
                     true};
const ChipTexts kCx93001{"Porthold emulated voice modem, CX93001-style chip",
                         kCx93001Formats,
                         kCx93001VoiceLineStates,
                         "=",
                         true,
                         true};

}  // namespace

const ChipTexts& TextsOf(ChipProfile chip) {
    return chip == ChipProfile::Cx93001 ? kCx93001 : kUsr;
}

const OfferedFormat* FindFormat(const ChipTexts& chip, int number) {
    for (const OfferedFormat& format : chip.formats) {
        if (format.number == number) {
            return &format;
        }
    }
    return nullptr;
}

const OfferedFormat& DefaultFormat(const ChipTexts& chip) {
    for (const OfferedFormat& format : chip.formats) {
        if (format.encoding == SampleEncoding::UnsignedLinear8) {
            return format;
        }
    }
    return chip.formats.front();
}

}  // namespace porthold::modem_emulator
