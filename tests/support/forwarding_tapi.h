#pragma once

#include <string_view>

#include "telephony/tapi_interface.h"

namespace porthold::testing {

// Hands every telephony request on to an inner service unchanged, telling the
// hook the request's name and what the service answered. Test doubles that
// watch or bend a real service derive from it and override only what they
// change.
class ForwardingTapi : public telephony::Tapi {
public:
    using DWORD = telephony::DWORD;
    using DWORD_PTR = telephony::DWORD_PTR;
    using HCALL = telephony::HCALL;
    using HINSTANCE = telephony::HINSTANCE;
    using HLINE = telephony::HLINE;
    using HLINEAPP = telephony::HLINEAPP;
    using HPHONE = telephony::HPHONE;
    using HPHONEAPP = telephony::HPHONEAPP;
    using LONG = telephony::LONG;
    using LPCSTR = telephony::LPCSTR;
    using LPCWSTR = telephony::LPCWSTR;

    explicit ForwardingTapi(telephony::Tapi& inner) : inner_(inner) {}

    LONG lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) override;
    LONG lineClose(HLINE line) override;
    LONG lineDeallocateCall(HCALL call) override;
    LONG lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) override;
    LONG lineGetDevCapsW(HLINEAPP lineApp, DWORD deviceId, DWORD apiVersion, DWORD extensionVersion,
                         telephony::LINEDEVCAPS* capabilities) override;
    LONG lineGetIDA(HLINE line, DWORD addressId, HCALL call, DWORD select,
                    telephony::VARSTRING* deviceId, LPCSTR deviceClass) override;
    LONG lineGetLineDevStatus(HLINE line, telephony::LINEDEVSTATUS* status) override;
    LONG lineGetMessage(HLINEAPP lineApp, telephony::LINEMESSAGE* message, DWORD timeout) override;
    LONG lineInitializeExW(HLINEAPP* lineApp, HINSTANCE instance, telephony::LINECALLBACK callback,
                           LPCWSTR applicationName, DWORD* deviceCount, DWORD* apiVersion,
                           telephony::LINEINITIALIZEEXPARAMS* parameters) override;
    LONG lineMonitorDigits(HCALL call, DWORD digitModes) override;
    LONG lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD deviceId, DWORD lowVersion,
                                 DWORD highVersion, DWORD* apiVersion,
                                 telephony::LINEEXTENSIONID* extensionId) override;
    LONG lineOpenW(HLINEAPP lineApp, DWORD deviceId, HLINE* line, DWORD apiVersion,
                   DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privileges,
                   DWORD mediaModes, telephony::LINECALLPARAMS* callParameters) override;
    LONG lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) override;
    LONG lineShutdown(HLINEAPP lineApp) override;
    LONG phoneClose(HPHONE phone) override;
    LONG phoneGetDevCapsA(HPHONEAPP phoneApp, DWORD deviceId, DWORD apiVersion,
                          DWORD extensionVersion, telephony::PHONECAPS* capabilities) override;
    LONG phoneInitializeExA(HPHONEAPP* phoneApp, HINSTANCE instance,
                            telephony::PHONECALLBACK callback, LPCSTR applicationName,
                            DWORD* deviceCount, DWORD* apiVersion,
                            telephony::PHONEINITIALIZEEXPARAMS* parameters) override;
    LONG phoneNegotiateAPIVersion(HPHONEAPP phoneApp, DWORD deviceId, DWORD lowVersion,
                                  DWORD highVersion, DWORD* apiVersion,
                                  telephony::PHONEEXTENSIONID* extensionId) override;
    LONG phoneOpen(HPHONEAPP phoneApp, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                   DWORD extensionVersion, DWORD_PTR callbackInstance, DWORD privilege) override;
    LONG phoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevices, DWORD mode) override;
    LONG phoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                DWORD buttonStates) override;
    LONG phoneShutdown(HPHONEAPP phoneApp) override;

protected:
    // Called once a request has been answered by the inner service.
    virtual void Forwarded(std::string_view /*operation*/, LONG /*result*/) {}

    telephony::Tapi& Inner() { return inner_; }

private:
    LONG Report(std::string_view operation, LONG result) {
        Forwarded(operation, result);
        return result;
    }

    telephony::Tapi& inner_;
};

}  // namespace porthold::testing
