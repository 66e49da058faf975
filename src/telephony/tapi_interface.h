#pragma once

#include "telephony/tapi.h"

namespace porthold::telephony {

// The telephony operations the program uses, one per TAPI entry point, each
// with that function's parameters and result. The program reaches the service
// through TapiBinding; tests put a scripted service in its place.
class Tapi {
public:
    virtual ~Tapi() = default;

    virtual LONG lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) = 0;
    virtual LONG lineClose(HLINE line) = 0;
    virtual LONG lineDeallocateCall(HCALL call) = 0;
    virtual LONG lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) = 0;
    virtual LONG lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion,
                                 DWORD extensionVersion, LINEDEVCAPS* capabilities) = 0;
    virtual LONG lineGetIDA(HLINE line, DWORD addressId, HCALL call, DWORD select,
                            VARSTRING* deviceId, LPCSTR deviceClass) = 0;
    virtual LONG lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) = 0;
    virtual LONG lineGetMessage(HLINEAPP lineApp, LINEMESSAGE* message, DWORD timeout) = 0;
    virtual LONG lineInitializeExW(HLINEAPP* lineApp, HINSTANCE instance, LINECALLBACK callback,
                                   LPCWSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                                   LINEINITIALIZEEXPARAMS* parameters) = 0;
    virtual LONG lineMonitorDigits(HCALL call, DWORD digitModes) = 0;
    virtual LONG lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                         DWORD highVersion, DWORD* apiVersion,
                                         LINEEXTENSIONID* extensionId) = 0;
    virtual LONG lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                           DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privileges,
                           DWORD mediaModes, LINECALLPARAMS* callParameters) = 0;
    virtual LONG lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) = 0;
    virtual LONG lineShutdown(HLINEAPP lineApp) = 0;

    virtual LONG phoneClose(HPHONE phone) = 0;
    virtual LONG phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                                  DWORD extensionVersion, PHONECAPS* capabilities) = 0;
    virtual LONG phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE instance, PHONECALLBACK callback,
                                    LPCSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                                    PHONEINITIALIZEEXPARAMS* parameters) = 0;
    virtual LONG phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                          DWORD highVersion, DWORD* apiVersion,
                                          PHONEEXTENSIONID* extensionId) = 0;
    virtual LONG phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                           DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privilege) = 0;
    virtual LONG phoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevices, DWORD mode) = 0;
    virtual LONG phoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                        DWORD buttonStates) = 0;
    virtual LONG phoneShutdown(HPHONEAPP phoneApp) = 0;
};

}  // namespace porthold::telephony
