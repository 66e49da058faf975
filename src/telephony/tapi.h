#pragma once

// The TAPI 2.x line and phone interface that the program and its telephony
// service share: types, structures, constants and entry points. The program
// never calls the entry points declared here directly: it resolves them by
// name from the service library at run time (TapiBinding); the service library
// defines them.
//
// These headers depend on nothing but the standard library, so that the
// service library can include them on their own.

#include "telephony/tapi_constants.h"
#include "telephony/tapi_types.h"

namespace porthold::telephony {

// ---------------------------------------------------------------------------
// Entry points, under the names the service library exports them by.

using LINECALLBACK = void (*)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance,
                              DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);
using PHONECALLBACK = void (*)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance,
                               DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);

// Exported even from a library built with hidden visibility.
#define PORTHOLD_TAPI_EXPORT __attribute__((visibility("default")))

extern "C" {

PORTHOLD_TAPI_EXPORT LONG lineAnswer(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize);
PORTHOLD_TAPI_EXPORT LONG lineClose(HLINE hLine);
PORTHOLD_TAPI_EXPORT LONG lineDeallocateCall(HCALL hCall);
PORTHOLD_TAPI_EXPORT LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize);
PORTHOLD_TAPI_EXPORT LONG lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                          DWORD dwExtVersion, LINEDEVCAPS* lpLineDevCaps);
PORTHOLD_TAPI_EXPORT LONG lineGetIDA(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect,
                                     VARSTRING* lpDeviceID, LPCSTR lpszDeviceClass);
PORTHOLD_TAPI_EXPORT LONG lineGetLineDevStatus(HLINE hLine, LINEDEVSTATUS* lpLineDevStatus);
PORTHOLD_TAPI_EXPORT LONG lineGetMessage(HLINEAPP hLineApp, LINEMESSAGE* lpMessage,
                                         DWORD dwTimeout);
PORTHOLD_TAPI_EXPORT LONG lineInitializeExW(HLINEAPP* lphLineApp, HINSTANCE hInstance,
                                            LINECALLBACK lpfnCallback, LPCWSTR lpszFriendlyAppName,
                                            DWORD* lpdwNumDevs, DWORD* lpdwAPIVersion,
                                            LINEINITIALIZEEXPARAMS* lpLineInitializeExParams);
PORTHOLD_TAPI_EXPORT LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes);
PORTHOLD_TAPI_EXPORT LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID,
                                                  DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
                                                  DWORD* lpdwAPIVersion,
                                                  LINEEXTENSIONID* lpExtensionID);
PORTHOLD_TAPI_EXPORT LONG lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine,
                                    DWORD dwAPIVersion, DWORD dwExtVersion,
                                    DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                                    DWORD dwMediaModes, LINECALLPARAMS* lpCallParams);
PORTHOLD_TAPI_EXPORT LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates,
                                                DWORD dwAddressStates);
PORTHOLD_TAPI_EXPORT LONG lineShutdown(HLINEAPP hLineApp);
PORTHOLD_TAPI_EXPORT LONG phoneClose(HPHONE hPhone);
PORTHOLD_TAPI_EXPORT LONG phoneGetDevCapsA(HPHONEAPP hPhoneApp, DWORD dwDeviceID,
                                           DWORD dwAPIVersion, DWORD dwExtVersion,
                                           PHONECAPS* lpPhoneCaps);
PORTHOLD_TAPI_EXPORT LONG phoneInitializeExA(HPHONEAPP* lphPhoneApp, HINSTANCE hInstance,
                                             PHONECALLBACK lpfnCallback, LPCSTR lpszFriendlyAppName,
                                             DWORD* lpdwNumDevs, DWORD* lpdwAPIVersion,
                                             PHONEINITIALIZEEXPARAMS* lpPhoneInitializeExParams);
PORTHOLD_TAPI_EXPORT LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID,
                                                   DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
                                                   DWORD* lpdwAPIVersion,
                                                   PHONEEXTENSIONID* lpExtensionID);
PORTHOLD_TAPI_EXPORT LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, HPHONE* lphPhone,
                                    DWORD dwAPIVersion, DWORD dwExtVersion,
                                    DWORD_PTR dwCallbackInstance, DWORD dwPrivilege);
PORTHOLD_TAPI_EXPORT LONG phoneSetHookSwitch(HPHONE hPhone, DWORD dwHookSwitchDevs,
                                             DWORD dwHookSwitchMode);
PORTHOLD_TAPI_EXPORT LONG phoneSetStatusMessages(HPHONE hPhone, DWORD dwPhoneStates,
                                                 DWORD dwButtonModes, DWORD dwButtonStates);
PORTHOLD_TAPI_EXPORT LONG phoneShutdown(HPHONEAPP hPhoneApp);

}  // extern "C"

// The entry points' types, as the binding calls them once resolved.
using LineAnswerFunction = decltype(&lineAnswer);
using LineCloseFunction = decltype(&lineClose);
using LineDeallocateCallFunction = decltype(&lineDeallocateCall);
using LineDropFunction = decltype(&lineDrop);
using LineGetDevCapsWFunction = decltype(&lineGetDevCapsW);
using LineGetIDAFunction = decltype(&lineGetIDA);
using LineGetLineDevStatusFunction = decltype(&lineGetLineDevStatus);
using LineGetMessageFunction = decltype(&lineGetMessage);
using LineInitializeExWFunction = decltype(&lineInitializeExW);
using LineMonitorDigitsFunction = decltype(&lineMonitorDigits);
using LineNegotiateAPIVersionFunction = decltype(&lineNegotiateAPIVersion);
using LineOpenWFunction = decltype(&lineOpenW);
using LineSetStatusMessagesFunction = decltype(&lineSetStatusMessages);
using LineShutdownFunction = decltype(&lineShutdown);
using PhoneCloseFunction = decltype(&phoneClose);
using PhoneGetDevCapsAFunction = decltype(&phoneGetDevCapsA);
using PhoneInitializeExAFunction = decltype(&phoneInitializeExA);
using PhoneNegotiateAPIVersionFunction = decltype(&phoneNegotiateAPIVersion);
using PhoneOpenFunction = decltype(&phoneOpen);
using PhoneSetHookSwitchFunction = decltype(&phoneSetHookSwitch);
using PhoneSetStatusMessagesFunction = decltype(&phoneSetStatusMessages);
using PhoneShutdownFunction = decltype(&phoneShutdown);

}  // namespace porthold::telephony
