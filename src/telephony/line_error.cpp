#include "telephony/line_error.h"

#include <algorithm>
#include <array>
#include <string>

namespace porthold::telephony {

namespace {

struct NamedError {
    LONG code;
    std::string_view text;
};

// The errors the program can meet and names in its log.
constexpr std::array<NamedError, 39> kNamedErrors = {{
    {LINEERR_ALLOCATED, " ALLOCATED"},
    {LINEERR_BADDEVICEID, " BADDEVICEID"},
    {LINEERR_BEARERMODEUNAVAIL, " BEARERMODEUNAVAIL"},
    {LINEERR_INCOMPATIBLEAPIVERSION, " INCOMPATIBLEAPIVERSION"},
    {LINEERR_INCOMPATIBLEEXTVERSION, " INCOMPATIBLEEXTVERSION"},
    {LINEERR_INIFILECORRUPT, " INIFILECORRUPT"},
    {LINEERR_INUSE, " INUSE"},
    {LINEERR_INVALADDRESS, " INVALADDRESS"},
    {LINEERR_INVALADDRESSID, " INVALADDRESSID"},
    {LINEERR_INVALADDRESSMODE, " INVALADDRESSMODE"},
    {LINEERR_INVALADDRESSSTATE, " INVALADDRESSSTATE"},
    {LINEERR_INVALAPPHANDLE, " INVALAPPHANDLE"},
    {LINEERR_INVALAPPNAME, " INVALAPPNAME"},
    {LINEERR_INVALCALLHANDLE, " INVALCALLHANDLE"},
    {LINEERR_INVALCALLSELECT, " INVALCALLSELECT"},
    {LINEERR_INVALCALLSTATE, " INVALCALLSTATE"},
    {LINEERR_INVALDIGITMODE, " INVALDIGITMODE"},
    {LINEERR_INVALDIGITS, " INVALDIGITS"},
    {LINEERR_INVALLINEHANDLE, " INVALLINEHANDLE"},
    {LINEERR_INVALLINESTATE, " INVALLINESTATE"},
    {LINEERR_INVALMEDIAMODE, " INVALMEDIAMODE"},
    {LINEERR_INVALPARAM, " INVALPARAM"},
    {LINEERR_INVALPOINTER, " INVALPOINTER"},
    {LINEERR_INVALPRIVSELECT, " INVALPRIVSELECT"},
    {LINEERR_INVALTONE, " INVALTONE"},
    {LINEERR_INVALTONEMODE, " INVALTONEMODE"},
    {LINEERR_LINEMAPPERFAILED, " LINEMAPPERFAILED"},
    {LINEERR_NODEVICE, " NODEVICE"},
    {LINEERR_NODRIVER, " NODRIVER"},
    {LINEERR_NOMEM, " NOMEM"},
    {LINEERR_NOTOWNER, " NOTOWNER"},
    {LINEERR_OPERATIONFAILED, " OPERATIONFAILED"},
    {LINEERR_OPERATIONUNAVAIL, " OPERATIONUNAVAIL"},
    {LINEERR_RESOURCEUNAVAIL, " RESOURCEUNAVAIL"},
    {LINEERR_STRUCTURETOOSMALL, " STRUCTURETOOSMALL"},
    {LINEERR_UNINITIALIZED, " UNINITIALIZED"},
    {LINEERR_USERUSERINFOTOOBIG, " USERUSERINFOTOOBIG"},
    {LINEERR_REINIT, " REINIT"},
    {LINEERR_ADDRESSBLOCKED, " ADDRESSBLOCKED"},
}};

struct CodeRange {
    DWORD first;
    DWORD last;
};

// Line errors the service may define but the program never expects; they are
// logged under one text. Codes between them that are in neither list count as
// undocumented.
constexpr std::array<CodeRange, 18> kUnutilizedErrors = {{
    {0x80000005, 0x8000000B},
    {0x80000016, 0x80000017},
    {0x80000019, 0x8000001A},
    {0x8000001D, 0x80000023},
    {0x80000026, 0x80000026},
    {0x8000002A, 0x8000002A},
    {0x8000002D, 0x8000002E},
    {0x80000030, 0x80000030},
    {0x80000034, 0x80000034},
    {0x80000037, 0x8000003B},
    {0x8000003D, 0x8000003D},
    {0x8000003F, 0x8000003F},
    {0x80000041, 0x80000041},
    {0x80000045, 0x80000045},
    {0x80000047, 0x80000047},
    {0x8000004A, 0x8000004A},
    {0x8000004E, 0x8000004F},
    {0x80000055, 0x8000005B},
}};

constexpr std::string_view kUnutilizedText = " Unutilized TAPI Error";
constexpr std::string_view kUndocumentedText = " Undocumented TAPI Error";

}  // namespace

std::string_view LineErrorText(LONG code) {
    const auto named = std::find_if(kNamedErrors.begin(), kNamedErrors.end(),
                                    [code](const NamedError& error) { return error.code == code; });
    if (named != kNamedErrors.end()) {
        return named->text;
    }
    const auto value = static_cast<DWORD>(code);
    const bool unutilized = std::any_of(
        kUnutilizedErrors.begin(), kUnutilizedErrors.end(),
        [value](const CodeRange& range) { return value >= range.first && value <= range.last; });
    return unutilized ? kUnutilizedText : kUndocumentedText;
}

void LogLineError(config::ErrorLog& errorLog, LONG code, std::string_view context) {
    std::string entry(context);
    entry += LineErrorText(code);
    errorLog.LogError(entry);
}

}  // namespace porthold::telephony
