#include "support/forwarding_tapi.h"

namespace porthold::testing {

using namespace telephony;

LONG ForwardingTapi::lineAnswer(HCALL call, LPCSTR info, DWORD size) {
    return Report("lineAnswer", inner_.lineAnswer(call, info, size));
}
LONG ForwardingTapi::lineClose(HLINE line) {
    return Report("lineClose", inner_.lineClose(line));
}
LONG ForwardingTapi::lineDeallocateCall(HCALL call) {
    return Report("lineDeallocateCall", inner_.lineDeallocateCall(call));
}
LONG ForwardingTapi::lineDrop(HCALL call, LPCSTR info, DWORD size) {
    return Report("lineDrop", inner_.lineDrop(call, info, size));
}
LONG ForwardingTapi::lineGetDevCapsW(HLINEAPP app, DWORD device, DWORD version, DWORD extension,
                                     LINEDEVCAPS* capabilities) {
    return Report("lineGetDevCapsW",
                  inner_.lineGetDevCapsW(app, device, version, extension, capabilities));
}
LONG ForwardingTapi::lineGetIDA(HLINE line, DWORD address, HCALL call, DWORD select,
                                VARSTRING* deviceId, LPCSTR deviceClass) {
    return Report("lineGetIDA",
                  inner_.lineGetIDA(line, address, call, select, deviceId, deviceClass));
}
LONG ForwardingTapi::lineGetLineDevStatus(HLINE line, LINEDEVSTATUS* status) {
    return Report("lineGetLineDevStatus", inner_.lineGetLineDevStatus(line, status));
}
LONG ForwardingTapi::lineGetMessage(HLINEAPP app, LINEMESSAGE* message, DWORD timeout) {
    return Report("lineGetMessage", inner_.lineGetMessage(app, message, timeout));
}
LONG ForwardingTapi::lineInitializeExW(HLINEAPP* app, HINSTANCE instance, LINECALLBACK callback,
                                       LPCWSTR name, DWORD* count, DWORD* version,
                                       LINEINITIALIZEEXPARAMS* parameters) {
    return Report("lineInitializeExW", inner_.lineInitializeExW(app, instance, callback, name,
                                                                count, version, parameters));
}
LONG ForwardingTapi::lineMonitorDigits(HCALL call, DWORD modes) {
    return Report("lineMonitorDigits", inner_.lineMonitorDigits(call, modes));
}
LONG ForwardingTapi::lineNegotiateAPIVersion(HLINEAPP app, DWORD device, DWORD low, DWORD high,
                                             DWORD* version, LINEEXTENSIONID* extension) {
    return Report("lineNegotiateAPIVersion",
                  inner_.lineNegotiateAPIVersion(app, device, low, high, version, extension));
}
LONG ForwardingTapi::lineOpenW(HLINEAPP app, DWORD device, HLINE* line, DWORD version,
                               DWORD extension, DWORD_PTR instance, DWORD privileges, DWORD modes,
                               LINECALLPARAMS* parameters) {
    return Report("lineOpenW", inner_.lineOpenW(app, device, line, version, extension, instance,
                                                privileges, modes, parameters));
}
LONG ForwardingTapi::lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
    return Report("lineSetStatusMessages",
                  inner_.lineSetStatusMessages(line, lineStates, addressStates));
}
LONG ForwardingTapi::lineShutdown(HLINEAPP app) {
    return Report("lineShutdown", inner_.lineShutdown(app));
}
LONG ForwardingTapi::phoneClose(HPHONE phone) {
    return Report("phoneClose", inner_.phoneClose(phone));
}
LONG ForwardingTapi::phoneGetDevCapsA(HPHONEAPP app, DWORD device, DWORD version, DWORD extension,
                                      PHONECAPS* capabilities) {
    return Report("phoneGetDevCapsA",
                  inner_.phoneGetDevCapsA(app, device, version, extension, capabilities));
}
LONG ForwardingTapi::phoneInitializeExA(HPHONEAPP* app, HINSTANCE instance, PHONECALLBACK callback,
                                        LPCSTR name, DWORD* count, DWORD* version,
                                        PHONEINITIALIZEEXPARAMS* parameters) {
    return Report("phoneInitializeExA", inner_.phoneInitializeExA(app, instance, callback, name,
                                                                  count, version, parameters));
}
LONG ForwardingTapi::phoneNegotiateAPIVersion(HPHONEAPP app, DWORD device, DWORD low, DWORD high,
                                              DWORD* version, PHONEEXTENSIONID* extension) {
    return Report("phoneNegotiateAPIVersion",
                  inner_.phoneNegotiateAPIVersion(app, device, low, high, version, extension));
}
LONG ForwardingTapi::phoneOpen(HPHONEAPP app, DWORD device, HPHONE* phone, DWORD version,
                               DWORD extension, DWORD_PTR instance, DWORD privilege) {
    return Report("phoneOpen",
                  inner_.phoneOpen(app, device, phone, version, extension, instance, privilege));
}
LONG ForwardingTapi::phoneSetHookSwitch(HPHONE phone, DWORD devices, DWORD mode) {
    return Report("phoneSetHookSwitch", inner_.phoneSetHookSwitch(phone, devices, mode));
}
LONG ForwardingTapi::phoneSetStatusMessages(HPHONE phone, DWORD states, DWORD modes,
                                            DWORD buttonStates) {
    return Report("phoneSetStatusMessages",
                  inner_.phoneSetStatusMessages(phone, states, modes, buttonStates));
}
LONG ForwardingTapi::phoneShutdown(HPHONEAPP app) {
    return Report("phoneShutdown", inner_.phoneShutdown(app));
}

}  // namespace porthold::testing
