#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

#include "platform/virtual_clock.h"
#include "service/simulated_modem_line.h"
#include "service/telephony_service.h"
#include "telephony/tapi.h"

namespace porthold::service::testing {

using namespace telephony;

// A message as the tests compare it (dwCallbackInstance aside).
struct Seen {
    DWORD messageId;
    DWORD hDevice;
    DWORD param1;
    DWORD param2;
    DWORD param3;
    friend bool operator==(const Seen&, const Seen&) = default;
    friend void PrintTo(const Seen& seen, std::ostream* out) {
        *out << "{message " << seen.messageId << ", device " << seen.hDevice << ", " << seen.param1
             << ", " << seen.param2 << ", " << seen.param3 << "}";
    }
};

// The line line state mask the program asks for.
inline constexpr DWORD kProgramLineStates = 0x010F1F8F;

// The service on a virtual clock with one simulated voice-modem line (wave
// devices 100 and 101), and an application that opened it as the program
// does.
class ServiceTest : public ::testing::Test {
protected:
    ServiceTest() : line(service.AddLine(NewLine("line0", 100, 101))) {}

    std::unique_ptr<SimulatedModemLine> NewLine(const char* name, std::uint32_t output,
                                                std::uint32_t input) {
        return std::make_unique<SimulatedModemLine>(clock, name, output, input);
    }

    struct Initialization {
        LONG result = 0;
        HLINEAPP application = 0;
        DWORD version = 0;
        DWORD devices = 0;
        LINEINITIALIZEEXPARAMS parameters{};
    };

    Initialization TryInitialize(DWORD version, DWORD options = LINEINITIALIZEEXOPTION_USEEVENT) {
        Initialization initialization;
        initialization.version = version;
        initialization.parameters.dwTotalSize = sizeof(initialization.parameters);
        initialization.parameters.dwOptions = options;
        initialization.result = service.lineInitializeExW(
            &initialization.application, 0, nullptr, nullptr, &initialization.devices,
            &initialization.version, &initialization.parameters);
        return initialization;
    }

    HLINEAPP Initialize(DWORD version = TAPI_VERSION2_1) {
        const Initialization initialization = TryInitialize(version);
        EXPECT_EQ(initialization.result, 0);
        return initialization.application;
    }

    HLINE Open(HLINEAPP application, DWORD device = 0, DWORD privileges = LINECALLPRIVILEGE_OWNER) {
        HLINE handle = 0;
        EXPECT_EQ(service.lineOpenW(application, device, &handle, TAPI_VERSION2_1, 0, 77,
                                    privileges, LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
                  0);
        EXPECT_EQ(service.lineSetStatusMessages(handle, kProgramLineStates, 0), 0);
        return handle;
    }

    void OpenAsTheProgram() {
        app = Initialize();
        lineHandle = Open(app);
    }

    // Everything queued for `application` now.
    std::vector<Seen> Messages(HLINEAPP application) {
        std::vector<Seen> seen;
        LINEMESSAGE message{};
        while (service.lineGetMessage(application, &message, 0) == 0) {
            EXPECT_EQ(message.dwCallbackInstance, message.dwMessageID == LINE_REPLY ? 0u : 77u);
            seen.push_back(Seen{message.dwMessageID, message.hDevice, message.dwParam1,
                                message.dwParam2, message.dwParam3});
        }
        return seen;
    }
    std::vector<Seen> Messages() { return Messages(app); }

    // Dials and takes the offer; the new call's handle.
    HCALL DialAndOffer() {
        EXPECT_EQ(line.Dial(), DialResult::Offered);
        const std::vector<Seen> offer = Messages();
        EXPECT_EQ(offer.size(), 2u);
        return offer.empty() ? 0 : offer.front().param2;
    }

    HCALL AnsweredCall() {
        const HCALL call = DialAndOffer();
        line.Ring();
        EXPECT_GT(service.lineAnswer(call, nullptr, 0), 0);
        Messages();
        return call;
    }

    DWORD ActiveCalls(HLINE handle) {
        LINEDEVSTATUS status{};
        status.dwTotalSize = sizeof(status);
        EXPECT_EQ(service.lineGetLineDevStatus(handle, &status), 0);
        return status.dwNumActiveCalls;
    }

    platform::VirtualClock clock;
    TelephonyService service{clock};
    SimulatedModemLine& line;
    HLINEAPP app = 0;
    HLINE lineHandle = 0;
};

inline Seen CallState(HCALL call, DWORD state, DWORD mode = 0) {
    return Seen{LINE_CALLSTATE, call, state, mode, 0};
}

inline Seen Reply(LONG request, LONG result = 0) {
    return Seen{LINE_REPLY, 0, static_cast<DWORD>(request), static_cast<DWORD>(result), 0};
}

inline Seen Ring(HLINE line, DWORD count) {
    return Seen{LINE_LINEDEVSTATE, line, LINEDEVSTATE_RINGING, 1, count};
}

}  // namespace porthold::service::testing
