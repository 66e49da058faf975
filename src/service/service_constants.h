#pragma once

// Values of the telephony interface that only the service needs: modes and
// flags it reports in messages and capabilities, and the masks of the states
// an application may ask to be told of.

#include "telephony/tapi.h"

namespace porthold::service {

using telephony::DWORD;

inline constexpr DWORD LINECONNECTEDMODE_ACTIVE = 0x00000001;
inline constexpr DWORD LINEDISCONNECTMODE_NORMAL = 0x00000001;
inline constexpr DWORD LINEOFFERINGMODE_ACTIVE = 0x00000001;
inline constexpr DWORD LINEADDRESSMODE_ADDRESSID = 0x00000001;
inline constexpr DWORD LINEBEARERMODE_VOICE = 0x00000001;
inline constexpr DWORD LINEANSWERMODE_NONE = 0x00000001;
inline constexpr DWORD LINEROAMMODE_UNAVAIL = 0x00000002;
inline constexpr DWORD LINEDEVSTATUSFLAGS_CONNECTED = 0x00000001;
inline constexpr DWORD LINEDEVSTATUSFLAGS_INSERVICE = 0x00000004;

// Every line state from LINEDEVSTATE_OTHER to LINEDEVSTATE_REMOVED.
inline constexpr DWORD kAllLineStates = 0x01FFFFFF;
// Every address state from LINEADDRESSSTATE_OTHER to LINEADDRESSSTATE_CAPSCHANGE.
inline constexpr DWORD kAllAddressStates = 0x000001FF;
// Every phone state from PHONESTATE_OTHER to PHONESTATE_REMOVED.
inline constexpr DWORD kAllPhoneStates = 0x00FFFFFF;

inline constexpr DWORD kAllDigitModes = telephony::LINEDIGITMODE_PULSE |
                                        telephony::LINEDIGITMODE_DTMF |
                                        telephony::LINEDIGITMODE_DTMFEND;

// lineGetMessage's time-out that never expires.
inline constexpr DWORD INFINITE = 0xFFFFFFFF;

}  // namespace porthold::service
