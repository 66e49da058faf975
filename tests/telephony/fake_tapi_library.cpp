// A stand-in service library for the binding's tests: one voice-modem line,
// just enough line entry points for line initialisation to succeed, and no
// phone entry points at all. Loaded by name at run time, as the real service is.

#include <cstddef>
#include <cstring>

#include "telephony/tapi.h"
#include "variable_size.h"

namespace porthold::telephony {

using porthold::testing::HasRoom;

namespace {

constexpr HLINEAPP kLineApp = 42;
constexpr HLINE kLine = 7;

}  // namespace

LONG lineInitializeExW(HLINEAPP* lphLineApp, HINSTANCE, LINECALLBACK, LPCWSTR, DWORD* lpdwNumDevs,
                       DWORD* lpdwAPIVersion, LINEINITIALIZEEXPARAMS* lpLineInitializeExParams) {
    if (!HasRoom(lpLineInitializeExParams, sizeof(LINEINITIALIZEEXPARAMS))) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    if (lpLineInitializeExParams->dwOptions != LINEINITIALIZEEXOPTION_USEEVENT) {
        return LINEERR_INVALPARAM;
    }
    if (*lpdwAPIVersion > TAPI_VERSION2_1) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    *lphLineApp = kLineApp;
    *lpdwNumDevs = 1;
    return 0;
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD, DWORD dwAPIHighVersion,
                             DWORD* lpdwAPIVersion, LINEEXTENSIONID* lpExtensionID) {
    if (hLineApp != kLineApp) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (dwDeviceID != 0) {
        return LINEERR_BADDEVICEID;
    }
    *lpdwAPIVersion = dwAPIHighVersion;
    *lpExtensionID = {};
    return 0;
}

LONG lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD, DWORD,
                     LINEDEVCAPS* lpLineDevCaps) {
    if (hLineApp != kLineApp) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (dwDeviceID != 0) {
        return LINEERR_BADDEVICEID;
    }
    if (!HasRoom(lpLineDevCaps, sizeof(LINEDEVCAPS))) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    lpLineDevCaps->dwNeededSize = sizeof(LINEDEVCAPS);
    lpLineDevCaps->dwUsedSize = sizeof(LINEDEVCAPS);
    lpLineDevCaps->dwMediaModes = LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM;
    return 0;
}

LONG lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD, DWORD, DWORD_PTR, DWORD,
               DWORD, LINECALLPARAMS*) {
    if (hLineApp != kLineApp) {
        return LINEERR_INVALAPPHANDLE;
    }
    if (dwDeviceID != 0) {
        return LINEERR_BADDEVICEID;
    }
    *lphLine = kLine;
    return 0;
}

LONG lineSetStatusMessages(HLINE hLine, DWORD, DWORD) {
    return hLine == kLine ? 0 : LINEERR_INVALLINEHANDLE;
}

LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* lpLineDevStatus) {
    if (hLine != kLine) {
        return LINEERR_INVALLINEHANDLE;
    }
    if (!HasRoom(lpLineDevStatus, sizeof(LINEDEVSTATUS))) {
        return LINEERR_STRUCTURETOOSMALL;
    }
    lpLineDevStatus->dwNeededSize = sizeof(LINEDEVSTATUS);
    lpLineDevStatus->dwUsedSize = sizeof(LINEDEVSTATUS);
    return 0;
}

LONG lineShutdown(HLINEAPP hLineApp) {
    return hLineApp == kLineApp ? 0 : LINEERR_INVALAPPHANDLE;
}

}  // namespace porthold::telephony
