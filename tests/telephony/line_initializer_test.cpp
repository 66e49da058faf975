#include "telephony/line_initializer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "fake_tapi.h"
#include "support/recording_error_log.h"
#include "support/recording_status_line.h"
#include "support/scripted_message_boxes.h"

namespace porthold::telephony {
namespace {

using testing::FakeLineDevice;
using testing::FakeNegotiation;
using testing::FakePhoneDevice;
using testing::FakeTapi;
using testing::RecordingErrorLog;
using testing::RecordingStatusLine;
using testing::ScriptedMessageBoxes;
using Lines = std::vector<std::string>;

constexpr HINSTANCE kInstance = 0x1234;
constexpr DWORD kDataModem = LINEMEDIAMODE_DATAMODEM;

// The sizes a structure is offered in when it starts at 32 bytes and grows by
// 32 until it holds `needed` bytes.
std::vector<DWORD> GrowthUpTo(DWORD needed) {
    std::vector<DWORD> sizes;
    for (DWORD size = 32;; size += 32) {
        sizes.push_back(size);
        if (size >= needed) {
            return sizes;
        }
    }
}

std::vector<DWORD> SizesOffered(const std::vector<testing::FakeCapabilitiesRequest>& requests,
                                DWORD device) {
    std::vector<DWORD> sizes;
    for (const auto& request : requests) {
        if (request.device == device) {
            sizes.push_back(request.bufferSize);
        }
    }
    return sizes;
}

class LineInitializerTest : public ::testing::Test {
protected:
    FakeTapi tapi;
    TelephonyHandles handles;
    RecordingStatusLine statusLine;
    ScriptedMessageBoxes messageBoxes;
    RecordingErrorLog errorLog;
    LineInitializer initializer{tapi, handles, statusLine, messageBoxes, errorLog, kInstance};
};

TEST_F(LineInitializerTest, OpensTheVoiceModemForOwnedAutomatedVoiceCalls) {
    tapi.lineDevices = {FakeLineDevice{}};

    EXPECT_TRUE(initializer.LineInit());

    EXPECT_EQ(statusLine.texts, Lines{" Initializing Modem..."});
    EXPECT_EQ(tapi.instances, std::vector<HINSTANCE>{kInstance});
    EXPECT_EQ(tapi.initializeVersions, std::vector<DWORD>{TAPI_VERSION2_1});
    EXPECT_EQ(tapi.initializeParameterOptions, std::vector<DWORD>{LINEINITIALIZEEXOPTION_USEEVENT});
    EXPECT_EQ(handles.lineApp, FakeTapi::kLineApp);
    EXPECT_EQ(handles.lineHandle, FakeTapi::kFirstLineHandle);

    ASSERT_EQ(tapi.lineOpens.size(), 1u);
    const auto& open = tapi.lineOpens[0];
    EXPECT_EQ(open.device, 0u);
    EXPECT_EQ(open.version, TAPI_VERSION2_1);
    EXPECT_EQ(open.extensionVersion, 0u);
    EXPECT_EQ(open.callbackInstance, 0u);
    EXPECT_EQ(open.privileges, LINECALLPRIVILEGE_OWNER);
    EXPECT_EQ(open.mediaModes, LINEMEDIAMODE_AUTOMATEDVOICE);
    EXPECT_FALSE(open.callParametersGiven);

    using StatusMessages = std::vector<FakeTapi::StatusMessages>;
    EXPECT_EQ(tapi.lineStatusMessages,
              (StatusMessages{{FakeTapi::kFirstLineHandle, 0x010F1F8F, 0, 0}}));
    EXPECT_TRUE(errorLog.lines.empty());
    EXPECT_TRUE(messageBoxes.shown().empty());
}

TEST_F(LineInitializerTest, KeepsTheLineStatusAtTheSizeTheServiceNeeds) {
    tapi.lineDevices = {FakeLineDevice{}};
    tapi.lineStatusNeededSize = 200;

    ASSERT_TRUE(initializer.LineInit());

    EXPECT_EQ(tapi.lineStatusSizes, std::vector<DWORD>{4096});
    EXPECT_EQ(handles.lineStatus.Size(), 200u);
    EXPECT_EQ(handles.lineStatus.Field(offsetof(LINEDEVSTATUS, dwTotalSize)), 200u);
    EXPECT_EQ(handles.lineStatus.Field(offsetof(LINEDEVSTATUS, dwNumOpens)), 1u)
        << "the answer survives the resize";
}

TEST_F(LineInitializerTest, StepsTheApiVersionDownToVersionOnePointThree) {
    struct Case {
        DWORD highestSupported;
        std::vector<DWORD> offered;
    };
    const Case cases[] = {
        {TAPI_VERSION2_0, {TAPI_VERSION2_1, TAPI_VERSION2_0}},
        {TAPI_VERSION1_4, {TAPI_VERSION2_1, TAPI_VERSION2_0, TAPI_VERSION1_4}},
        {TAPI_VERSION1_0, {TAPI_VERSION2_1, TAPI_VERSION2_0, TAPI_VERSION1_4, TAPI_VERSION1_0}},
    };
    for (const Case& test : cases) {
        FakeTapi service;
        service.highestApiVersion = test.highestSupported;
        service.lineDevices = {FakeLineDevice{}};
        TelephonyHandles obtained;
        RecordingErrorLog log;
        LineInitializer lineInitializer(service, obtained, statusLine, messageBoxes, log,
                                        kInstance);

        EXPECT_TRUE(lineInitializer.LineInit()) << std::hex << test.highestSupported;
        EXPECT_EQ(service.initializeVersions, test.offered);
        EXPECT_TRUE(log.lines.empty());
    }
}

TEST_F(LineInitializerTest, GivesUpWhenEvenVersionOnePointThreeIsRefused) {
    tapi.highestApiVersion = 0x00010002;
    tapi.lineDevices = {FakeLineDevice{}};

    EXPECT_FALSE(initializer.LineInit());

    EXPECT_EQ(tapi.initializeVersions, (std::vector<DWORD>{TAPI_VERSION2_1, TAPI_VERSION2_0,
                                                           TAPI_VERSION1_4, TAPI_VERSION1_0}));
    EXPECT_EQ(errorLog.lines, Lines{"LineInit: lineInitializeEx INCOMPATIBLEAPIVERSION"});
    EXPECT_EQ(tapi.calls.size(), 4u) << "nothing after the failed initialisation";
}

TEST_F(LineInitializerTest, GrowsVariableSizeStructuresBy32BytesUntilTheyFit) {
    tapi.initializeParametersSize = 80;
    tapi.lineDevices = {FakeLineDevice{}};

    ASSERT_TRUE(initializer.LineInit());

    EXPECT_EQ(tapi.initializeParameterSizes, (std::vector<DWORD>{32, 64, 96}));
    EXPECT_EQ(tapi.initializeParameterOptions,
              std::vector<DWORD>(3, LINEINITIALIZEEXOPTION_USEEVENT))
        << "the options survive each growth";
    EXPECT_EQ(SizesOffered(tapi.lineCapabilitiesRequests, 0), GrowthUpTo(sizeof(LINEDEVCAPS)));
    EXPECT_TRUE(errorLog.lines.empty());
}

TEST_F(LineInitializerTest, NegotiatesEachDeviceDownToVersionOnePointThree) {
    FakeLineDevice oldModem;
    oldModem.lowestVersion = TAPI_VERSION1_0;
    oldModem.highestVersion = TAPI_VERSION1_0;
    tapi.lineDevices = {oldModem};

    ASSERT_TRUE(initializer.LineInit());

    EXPECT_EQ(tapi.lineNegotiations, (std::vector<FakeNegotiation>{
                                         {0, TAPI_VERSION1_4, TAPI_VERSION2_1},
                                         {0, TAPI_VERSION1_4, TAPI_VERSION2_0},
                                         {0, TAPI_VERSION1_4, TAPI_VERSION1_4},
                                         {0, TAPI_VERSION1_0, TAPI_VERSION1_0},
                                     }));
    EXPECT_EQ(tapi.lineCapabilitiesRequests.back().version, TAPI_VERSION1_0);
    EXPECT_EQ(tapi.lineOpens.at(0).version, TAPI_VERSION1_0);
    EXPECT_TRUE(errorLog.lines.empty());
}

TEST_F(LineInitializerTest, PassesOverADeviceThatRefusesVersionOnePointThreeToo) {
    FakeLineDevice newModem;
    newModem.lowestVersion = 0x00030000;
    newModem.highestVersion = 0x00030000;
    tapi.lineDevices = {newModem, FakeLineDevice{}};

    ASSERT_TRUE(initializer.LineInit());

    EXPECT_EQ(tapi.lineNegotiations.size(), 5u);
    EXPECT_EQ(errorLog.lines, Lines{"LineInit: lineNegotiateAPIVersion INCOMPATIBLEAPIVERSION"});
    EXPECT_EQ(tapi.lineOpens.at(0).device, 1u);
}

TEST_F(LineInitializerTest, OpensTheVoiceModemThatFollowsADataModem) {
    FakeLineDevice dataModem;
    dataModem.mediaModes = kDataModem;
    tapi.lineDevices = {dataModem, FakeLineDevice{}};

    ASSERT_TRUE(initializer.LineInit());

    EXPECT_EQ(SizesOffered(tapi.lineCapabilitiesRequests, 1), GrowthUpTo(sizeof(LINEDEVCAPS)))
        << "each device's capabilities start from a fresh small buffer";
    ASSERT_EQ(tapi.lineOpens.size(), 1u);
    EXPECT_EQ(tapi.lineOpens[0].device, 1u);
    EXPECT_EQ(handles.lineHandle, FakeTapi::kFirstLineHandle + 1);
    EXPECT_TRUE(errorLog.lines.empty());
    EXPECT_TRUE(messageBoxes.shown().empty());
}

TEST_F(LineInitializerTest, TellsTheUserWhenNoDeviceIsAVoiceModem) {
    FakeLineDevice dataModem;
    dataModem.mediaModes = kDataModem;
    FakeLineDevice voiceOnly;
    voiceOnly.mediaModes = LINEMEDIAMODE_AUTOMATEDVOICE;
    tapi.lineDevices = {dataModem, voiceOnly};
    messageBoxes.QueueAnswer(platform::MessageBoxAnswer::Ok);

    EXPECT_FALSE(initializer.LineInit());

    ASSERT_EQ(messageBoxes.shown().size(), 1u);
    const auto& box = messageBoxes.shown()[0];
    EXPECT_EQ(box.text, "No voice modem detected.");
    EXPECT_EQ(box.caption, "Porthold");
    EXPECT_EQ(box.buttons, platform::MessageBoxButtons::Ok);
    EXPECT_EQ(box.icon, platform::MessageBoxIcon::Stop);
    EXPECT_EQ(errorLog.lines, Lines{"LineInit: No voice modem detected."});
    EXPECT_TRUE(tapi.lineOpens.empty());
}

TEST_F(LineInitializerTest, LogsADeviceWithoutDriverOnceAndFindsTheNextVoiceModem) {
    FakeLineDevice broken;
    broken.negotiationError = LINEERR_NODRIVER;
    tapi.lineDevices = {broken, FakeLineDevice{}};

    ASSERT_TRUE(initializer.LineInit());

    EXPECT_EQ(errorLog.lines, Lines{"LineInit: lineNegotiateAPIVersion NODRIVER"});
    EXPECT_EQ(tapi.lineNegotiations.front(),
              (FakeNegotiation{0, TAPI_VERSION1_4, TAPI_VERSION2_1}));
    EXPECT_EQ(tapi.lineNegotiations.at(1).device, 1u) << "no retry with lower versions";
    EXPECT_TRUE(SizesOffered(tapi.lineCapabilitiesRequests, 0).empty());
    EXPECT_EQ(tapi.lineOpens.at(0).device, 1u);
}

TEST_F(LineInitializerTest, JudgesADeviceWhoseCapabilitiesFailByWhatTheBufferHolds) {
    FakeLineDevice broken;
    broken.capabilitiesError = LINEERR_NODRIVER;
    tapi.lineDevices = {broken};
    messageBoxes.QueueAnswer(platform::MessageBoxAnswer::Ok);

    EXPECT_FALSE(initializer.LineInit());

    EXPECT_EQ(SizesOffered(tapi.lineCapabilitiesRequests, 0), std::vector<DWORD>{32});
    EXPECT_EQ(errorLog.lines,
              (Lines{"LineInit: lineGetDevCaps NODRIVER", "LineInit: No voice modem detected."}));
}

TEST_F(LineInitializerTest, WithoutLineDevicesTheOpenFailsWithoutTheModemBox) {
    tapi.lineDevices = {};

    EXPECT_FALSE(initializer.LineInit());

    EXPECT_TRUE(tapi.lineNegotiations.empty());
    ASSERT_EQ(tapi.lineOpens.size(), 1u);
    EXPECT_EQ(tapi.lineOpens[0].device, 0u);
    EXPECT_EQ(tapi.lineOpens[0].version, TAPI_VERSION2_1) << "the initialisation's version";
    EXPECT_EQ(errorLog.lines, Lines{"LineInit: lineOpen BADDEVICEID"});
    EXPECT_TRUE(messageBoxes.shown().empty());
}

TEST_F(LineInitializerTest, StopsWhenTheLineCannotBeOpened) {
    tapi.lineDevices = {FakeLineDevice{}};
    tapi.openError = LINEERR_INUSE;

    EXPECT_FALSE(initializer.LineInit());

    EXPECT_EQ(errorLog.lines, Lines{"LineInit: lineOpen INUSE"});
    EXPECT_TRUE(tapi.lineStatusMessages.empty());
}

TEST_F(LineInitializerTest, GoesOnWhenStatusMessagesOrTheLineStatusFail) {
    tapi.lineDevices = {FakeLineDevice{}};
    tapi.statusMessagesError = LINEERR_INVALLINESTATE;
    tapi.lineStatusError = LINEERR_RESOURCEUNAVAIL;

    EXPECT_TRUE(initializer.LineInit());

    EXPECT_EQ(errorLog.lines, (Lines{"LineInit: lineSetStatusMessages INVALLINESTATE",
                                     "LineInit: lineGetLineDevStatus RESOURCEUNAVAIL"}));
    // The failed query reported no needed size; the engine's polls still need
    // room for the fixed part.
    EXPECT_EQ(handles.lineStatus.Size(), sizeof(LINEDEVSTATUS));
}

TEST_F(LineInitializerTest, OpensThePhoneDeviceOfTheModem) {
    tapi.phoneDevices = {FakePhoneDevice{}};

    EXPECT_TRUE(initializer.InitPhone());

    EXPECT_EQ(statusLine.texts, Lines{" Initializing Phone..."});
    EXPECT_EQ(tapi.instances, std::vector<HINSTANCE>{kInstance});
    EXPECT_EQ(tapi.initializeVersions, std::vector<DWORD>{TAPI_VERSION2_0});
    EXPECT_EQ(tapi.initializeParameterOptions,
              std::vector<DWORD>{PHONEINITIALIZEEXOPTION_USEEVENT});
    EXPECT_EQ(tapi.phoneNegotiations,
              (std::vector<FakeNegotiation>(2, {0, TAPI_VERSION1_4, TAPI_VERSION2_0})));
    EXPECT_EQ(SizesOffered(tapi.phoneCapabilitiesRequests, 0), GrowthUpTo(sizeof(PHONECAPS)));
    ASSERT_EQ(tapi.phoneOpens.size(), 1u);
    EXPECT_EQ(tapi.phoneOpens[0].device, 0u);
    EXPECT_EQ(tapi.phoneOpens[0].version, TAPI_VERSION2_0);
    EXPECT_EQ(tapi.phoneOpens[0].extensionVersion, 0u);
    EXPECT_EQ(tapi.phoneOpens[0].callbackInstance, 0u);
    EXPECT_EQ(tapi.phoneOpens[0].privileges, PHONEPRIVILEGE_OWNER);
    using StatusMessages = std::vector<FakeTapi::StatusMessages>;
    EXPECT_EQ(tapi.phoneStatusMessages,
              (StatusMessages{{FakeTapi::kFirstPhoneHandle, 0x00F09207, 0, 0}}));
    EXPECT_EQ(handles.phoneApp, FakeTapi::kPhoneApp);
    EXPECT_EQ(handles.phoneHandle, FakeTapi::kFirstPhoneHandle);
    EXPECT_TRUE(errorLog.lines.empty());
}

TEST_F(LineInitializerTest, TakesTheFirstPhoneDeviceWithAHookSwitch) {
    tapi.phoneDevices = {FakePhoneDevice{PHONESTATE_RINGMODE},
                         FakePhoneDevice{PHONESTATE_SPEAKERHOOKSWITCH},
                         FakePhoneDevice{PHONESTATE_HEADSETHOOKSWITCH}};

    ASSERT_TRUE(initializer.InitPhone());

    std::vector<DWORD> negotiated;
    for (const auto& negotiation : tapi.phoneNegotiations) {
        negotiated.push_back(negotiation.device);
    }
    EXPECT_EQ(negotiated, (std::vector<DWORD>{0, 1, 1}));
    EXPECT_EQ(tapi.phoneOpens.at(0).device, 1u);
}

TEST_F(LineInitializerTest, PhoneFailuresAreNotLogged) {
    struct Case {
        const char* name;
        std::vector<FakePhoneDevice> devices;
        bool entriesMissing;
        LONG initializeError;
    };
    const Case cases[] = {
        {"no device has a hook switch", {FakePhoneDevice{PHONESTATE_RINGMODE}}, false, 0},
        {"no phone devices", {}, false, 0},
        {"initialisation refused", {FakePhoneDevice{}}, false, PHONEERR_NODRIVER},
        {"service without phone entry points", {FakePhoneDevice{}}, true, 0},
    };
    for (const Case& test : cases) {
        FakeTapi service;
        service.phoneDevices = test.devices;
        service.phoneEntriesMissing = test.entriesMissing;
        service.phoneInitializeError = test.initializeError;
        TelephonyHandles obtained;
        RecordingErrorLog log;
        LineInitializer phoneInitializer(service, obtained, statusLine, messageBoxes, log,
                                         kInstance);

        EXPECT_FALSE(phoneInitializer.InitPhone()) << test.name;
        EXPECT_TRUE(log.lines.empty()) << test.name;
        EXPECT_EQ(obtained.phoneHandle, 0u) << test.name;
    }
    EXPECT_TRUE(messageBoxes.shown().empty());
}

TEST_F(LineInitializerTest, WithoutPhoneDevicesDeviceZeroIsTried) {
    tapi.phoneDevices = {};

    EXPECT_FALSE(initializer.InitPhone());

    EXPECT_TRUE(tapi.phoneCapabilitiesRequests.empty());
    EXPECT_EQ(tapi.phoneNegotiations.size(), 1u);
    ASSERT_EQ(tapi.phoneOpens.size(), 1u);
    EXPECT_EQ(tapi.phoneOpens[0].device, 0u);
}

// Notes how many requests the service had seen when each text was shown.
class RequestCountingStatusLine final : public StatusLine {
public:
    explicit RequestCountingStatusLine(const FakeTapi& service) : service_(service) {}
    void SetStatus(std::string_view text) override {
        shown.emplace_back(std::string(text), service_.calls.size());
    }
    std::vector<std::pair<std::string, std::size_t>> shown;

private:
    const FakeTapi& service_;
};

TEST_F(LineInitializerTest, ShowsEachStepOnTheStatusLineBeforeItsFirstRequest) {
    tapi.lineDevices = {FakeLineDevice{}};
    tapi.phoneDevices = {FakePhoneDevice{}};
    RequestCountingStatusLine watchedStatus(tapi);
    LineInitializer watched(tapi, handles, watchedStatus, messageBoxes, errorLog, kInstance);

    ASSERT_TRUE(watched.LineInit());
    const std::size_t lineRequests = tapi.calls.size();
    ASSERT_TRUE(watched.InitPhone());

    using Shown = std::vector<std::pair<std::string, std::size_t>>;
    EXPECT_EQ(watchedStatus.shown,
              (Shown{{" Initializing Modem...", 0}, {" Initializing Phone...", lineRequests}}));
}

}  // namespace
}  // namespace porthold::telephony
