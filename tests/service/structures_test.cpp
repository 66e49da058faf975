// Versions, the variable-size structures and the device identifiers the
// service answers with.

#include <cstring>
#include <string>
#include <vector>

#include "service_test_support.h"
#include "support/recording_error_log.h"
#include "support/recording_status_line.h"
#include "support/scripted_message_boxes.h"
#include "telephony/line_initializer.h"

namespace porthold::service::testing {
namespace {

// A caller's buffer of `size` bytes with guard bytes after it, so that a
// write beyond dwTotalSize shows.
class GuardedBuffer {
public:
    explicit GuardedBuffer(DWORD size) : words_((size + kGuard) / 4 + 1, kPattern), size_(size) {
        std::memcpy(words_.data(), &size, sizeof(size));
        std::memset(reinterpret_cast<char*>(words_.data()) + 4, 0, size - 4);
    }

    template <typename Structure>
    Structure* As() {
        return reinterpret_cast<Structure*>(words_.data());
    }

    DWORD Field(std::size_t offset) const {
        DWORD value = 0;
        std::memcpy(&value, reinterpret_cast<const char*>(words_.data()) + offset, sizeof(value));
        return value;
    }

    bool GuardIntact() const {
        const auto* bytes = reinterpret_cast<const unsigned char*>(words_.data());
        for (DWORD index = size_; index < size_ + kGuard; ++index) {
            if (bytes[index] != 0xA5) {
                return false;
            }
        }
        return true;
    }

    // The wide string at the offset the given fields point to.
    std::string WideString(std::size_t sizeField, std::size_t offsetField) const {
        std::string text;
        const auto* bytes = reinterpret_cast<const char*>(words_.data());
        for (DWORD index = 0; index + 2 < Field(sizeField); index += 2) {
            text.push_back(bytes[Field(offsetField) + index]);
        }
        return text;
    }

private:
    static constexpr DWORD kGuard = 16;
    static constexpr DWORD kPattern = 0xA5A5A5A5;
    std::vector<DWORD> words_;
    DWORD size_;
};

using Structures = ServiceTest;

TEST_F(Structures, VersionsFrom13To21AreSpokenAndNoOthers) {
    for (const DWORD refused : {0x00010002u, 0x00020002u}) {
        EXPECT_EQ(TryInitialize(refused).result, LINEERR_INCOMPATIBLEAPIVERSION)
            << std::hex << refused;
    }
    const Initialization initialized = TryInitialize(TAPI_VERSION1_0);
    ASSERT_EQ(initialized.result, 0);
    EXPECT_EQ(initialized.version, TAPI_VERSION2_1) << "the service tells its own highest version";
    EXPECT_EQ(initialized.devices, 1u);
    EXPECT_NE(initialized.parameters.Handles.hEvent, 0u);
    const HLINEAPP application = initialized.application;

    LINEEXTENSIONID extension{};
    struct Range {
        DWORD low, high;
        LONG result;
        DWORD negotiated;
    };
    for (const Range range : {Range{TAPI_VERSION1_4, TAPI_VERSION2_1, 0, TAPI_VERSION2_1},
                              Range{TAPI_VERSION1_4, 0x00030000, 0, TAPI_VERSION2_1},
                              Range{TAPI_VERSION1_0, TAPI_VERSION1_0, 0, TAPI_VERSION1_0},
                              Range{0x00010000, 0x00010002, LINEERR_INCOMPATIBLEAPIVERSION, 0},
                              Range{0x00020002, 0x00030000, LINEERR_INCOMPATIBLEAPIVERSION, 0}}) {
        DWORD negotiated = 0;
        EXPECT_EQ(service.lineNegotiateAPIVersion(application, 0, range.low, range.high,
                                                  &negotiated, &extension),
                  range.result);
        EXPECT_EQ(negotiated, range.negotiated);
    }
    DWORD negotiated = 0;
    EXPECT_EQ(service.lineNegotiateAPIVersion(application, 1, TAPI_VERSION1_4, TAPI_VERSION2_1,
                                              &negotiated, &extension),
              LINEERR_BADDEVICEID);

    PHONEINITIALIZEEXPARAMS phoneParameters{};
    phoneParameters.dwTotalSize = sizeof(phoneParameters);
    phoneParameters.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
    HPHONEAPP phoneApp = 0;
    DWORD devices = 0;
    DWORD version = 0x00020002;
    EXPECT_EQ(service.phoneInitializeExA(&phoneApp, 0, nullptr, nullptr, &devices, &version,
                                         &phoneParameters),
              PHONEERR_INCOMPATIBLEAPIVERSION);
}

TEST_F(Structures, OnlyPollingForMessagesIsOffered) {
    EXPECT_EQ(TryInitialize(TAPI_VERSION2_1, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW).result,
              LINEERR_INVALPARAM);
    EXPECT_EQ(service.ApplicationCount(), 0u);
}

TEST_F(Structures, TooSmallForTheFixedPartSaysHowMuchIsNeededAndWritesNothingElse) {
    OpenAsTheProgram();
    const HCALL call = DialAndOffer();
    HLINEAPP application = 0;
    DWORD devices = 0;
    DWORD version = TAPI_VERSION2_1;
    HPHONEAPP phoneApp = 0;

    GuardedBuffer initialize(8);
    EXPECT_EQ(service.lineInitializeExW(&application, 0, nullptr, nullptr, &devices, &version,
                                        initialize.As<LINEINITIALIZEEXPARAMS>()),
              LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(initialize.Field(4), sizeof(LINEINITIALIZEEXPARAMS));

    GuardedBuffer phoneInitialize(20);
    EXPECT_EQ(service.phoneInitializeExA(&phoneApp, 0, nullptr, nullptr, &devices, &version,
                                         phoneInitialize.As<PHONEINITIALIZEEXPARAMS>()),
              PHONEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(phoneInitialize.Field(4), sizeof(PHONEINITIALIZEEXPARAMS));

    GuardedBuffer capabilities(32);
    EXPECT_EQ(service.lineGetDevCapsW(app, 0, TAPI_VERSION2_1, 0, capabilities.As<LINEDEVCAPS>()),
              LINEERR_STRUCTURETOOSMALL);
    EXPECT_GT(capabilities.Field(4), sizeof(LINEDEVCAPS)) << "the whole answer, names included";

    GuardedBuffer status(80);
    EXPECT_EQ(service.lineGetLineDevStatus(lineHandle, status.As<LINEDEVSTATUS>()),
              LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(status.Field(4), sizeof(LINEDEVSTATUS));

    GuardedBuffer identifier(20);
    EXPECT_EQ(service.lineGetIDA(lineHandle, 0, call, LINECALLSELECT_CALL,
                                 identifier.As<VARSTRING>(), "wave/in"),
              LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(identifier.Field(4), sizeof(VARSTRING) + 4);

    for (const GuardedBuffer* buffer :
         {&initialize, &phoneInitialize, &capabilities, &status, &identifier}) {
        EXPECT_TRUE(buffer->GuardIntact());
    }
    EXPECT_EQ(service.ApplicationCount(), 1u) << "no application was added on the way";
}

TEST_F(Structures, RoomForTheFixedPartOnlyAnswersItAndTellsTheWholeSize) {
    OpenAsTheProgram();
    GuardedBuffer fixedOnly(sizeof(LINEDEVCAPS));
    ASSERT_EQ(service.lineGetDevCapsW(app, 0, TAPI_VERSION2_1, 0, fixedOnly.As<LINEDEVCAPS>()), 0);
    const DWORD needed = fixedOnly.Field(offsetof(LINEDEVCAPS, dwNeededSize));
    EXPECT_GT(needed, sizeof(LINEDEVCAPS));
    EXPECT_EQ(fixedOnly.Field(offsetof(LINEDEVCAPS, dwUsedSize)), sizeof(LINEDEVCAPS));
    EXPECT_EQ(fixedOnly.Field(offsetof(LINEDEVCAPS, dwLineNameSize)), 0u);
    EXPECT_EQ(fixedOnly.Field(offsetof(LINEDEVCAPS, dwMediaModes)),
              LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM);
    EXPECT_TRUE(fixedOnly.GuardIntact());

    GuardedBuffer whole(needed);
    ASSERT_EQ(service.lineGetDevCapsW(app, 0, TAPI_VERSION2_1, 0, whole.As<LINEDEVCAPS>()), 0);
    EXPECT_EQ(whole.Field(offsetof(LINEDEVCAPS, dwUsedSize)), needed);
    EXPECT_EQ(whole.WideString(offsetof(LINEDEVCAPS, dwLineNameSize),
                               offsetof(LINEDEVCAPS, dwLineNameOffset)),
              "Porthold simulated voice modem line0");
    EXPECT_TRUE(whole.GuardIntact());

    // A version 1.4 application gets the shorter layout of its version.
    GuardedBuffer older(offsetof(LINEDEVCAPS, dwSettableDevStatus));
    ASSERT_EQ(service.lineGetDevCapsW(app, 0, TAPI_VERSION1_4, 0, older.As<LINEDEVCAPS>()), 0);
    EXPECT_EQ(older.Field(offsetof(LINEDEVCAPS, dwMediaModes)),
              LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM);
    EXPECT_TRUE(older.GuardIntact());
}

TEST_F(Structures, EachLineHasWaveDevicesOfItsOwnAndTheCallNamesThem) {
    service.AddLine(NewLine("line1", 102, 103));
    app = Initialize();
    const HLINE first = Open(app, 0);
    const HLINE second = Open(app, 1);
    const auto identifierOf = [&](HLINE handle, HCALL call, DWORD select, const char* name,
                                  LONG& result) {
        GuardedBuffer buffer(32);
        result = service.lineGetIDA(handle, 0, call, select, buffer.As<VARSTRING>(), name);
        EXPECT_TRUE(buffer.GuardIntact());
        return buffer.Field(24);
    };
    LONG result = 0;
    EXPECT_EQ(identifierOf(first, 0, LINECALLSELECT_LINE, "wave/out", result), 100u);
    EXPECT_EQ(identifierOf(first, 0, LINECALLSELECT_LINE, "wave/in", result), 101u);
    EXPECT_EQ(identifierOf(second, 0, LINECALLSELECT_LINE, "wave/out", result), 102u);
    EXPECT_EQ(identifierOf(second, 0, LINECALLSELECT_ADDRESS, "WAVE/IN", result), 103u);
    EXPECT_EQ(identifierOf(second, 0, LINECALLSELECT_LINE, "tapi/phone", result), 1u);
    EXPECT_EQ(result, 0);

    identifierOf(first, 0x7FFF, LINECALLSELECT_CALL, "wave/in", result);
    EXPECT_EQ(result, LINEERR_INVALCALLHANDLE);
    identifierOf(first, 0, LINECALLSELECT_LINE, "comm/datamodem", result);
    EXPECT_EQ(result, LINEERR_INVALDEVICECLASS);
    GuardedBuffer buffer(32);
    EXPECT_EQ(
        service.lineGetIDA(first, 1, 0, LINECALLSELECT_ADDRESS, buffer.As<VARSTRING>(), "wave/in"),
        LINEERR_INVALADDRESSID);
}

TEST_F(Structures, TheCallsVoiceChannelIsTheLinesAndHoldsStillForTheCall) {
    OpenAsTheProgram();
    const HCALL call = DialAndOffer();
    GuardedBuffer input(32);
    GuardedBuffer output(1024);
    ASSERT_EQ(service.lineGetIDA(lineHandle, 0, call, LINECALLSELECT_CALL, input.As<VARSTRING>(),
                                 "wave/in"),
              0);
    ASSERT_EQ(service.lineGetIDA(lineHandle, 0, call, LINECALLSELECT_CALL, output.As<VARSTRING>(),
                                 "wave/out"),
              0);
    EXPECT_EQ(input.Field(offsetof(VARSTRING, dwStringFormat)), STRINGFORMAT_BINARY);
    EXPECT_EQ(input.Field(offsetof(VARSTRING, dwStringOffset)), 24u);
    EXPECT_EQ(input.Field(offsetof(VARSTRING, dwStringSize)), 4u);
    EXPECT_EQ(input.Field(24), line.WaveInputDeviceId());
    EXPECT_EQ(output.Field(24), line.WaveOutputDeviceId());
    EXPECT_EQ(service.WaveDeviceProviders(),
              std::vector<platform::WaveDeviceProvider*>{&line.VoiceChannel()});
}

TEST_F(Structures, ThePhoneDeviceHasHookswitchesAndOneOwner) {
    PHONEINITIALIZEEXPARAMS parameters{};
    parameters.dwTotalSize = sizeof(parameters);
    parameters.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
    HPHONEAPP phoneApp = 0;
    DWORD devices = 0;
    DWORD version = TAPI_VERSION2_0;
    ASSERT_EQ(
        service.phoneInitializeExA(&phoneApp, 0, nullptr, nullptr, &devices, &version, &parameters),
        0);
    EXPECT_EQ(devices, 1u);
    GuardedBuffer small(32);
    EXPECT_EQ(service.phoneGetDevCapsA(phoneApp, 0, TAPI_VERSION2_0, 0, small.As<PHONECAPS>()),
              PHONEERR_STRUCTURETOOSMALL);
    GuardedBuffer capabilities(small.Field(4));
    ASSERT_EQ(
        service.phoneGetDevCapsA(phoneApp, 0, TAPI_VERSION2_0, 0, capabilities.As<PHONECAPS>()), 0);
    const DWORD states = capabilities.Field(offsetof(PHONECAPS, dwPhoneStates));
    EXPECT_NE(states & PHONESTATE_HANDSETHOOKSWITCH, 0u);
    EXPECT_NE(states & PHONESTATE_SPEAKERHOOKSWITCH, 0u);
    EXPECT_TRUE(capabilities.GuardIntact());

    HPHONE phone = 0;
    EXPECT_EQ(service.phoneOpen(phoneApp, 0, &phone, TAPI_VERSION2_0, 0, 0, PHONEPRIVILEGE_OWNER),
              0);
    HPHONE second = 0;
    EXPECT_EQ(service.phoneOpen(phoneApp, 0, &second, TAPI_VERSION2_0, 0, 0, PHONEPRIVILEGE_OWNER),
              PHONEERR_INUSE);
    EXPECT_EQ(service.phoneOpen(phoneApp, 1, &second, TAPI_VERSION2_0, 0, 0, PHONEPRIVILEGE_OWNER),
              PHONEERR_BADDEVICEID);
    EXPECT_EQ(service.phoneSetStatusMessages(phone, 0x00F09207, 0, 0), 0);
    EXPECT_EQ(service.phoneClose(phone), 0);
    EXPECT_EQ(service.phoneClose(phone), PHONEERR_INVALPHONEHANDLE);
    EXPECT_EQ(service.phoneShutdown(phoneApp), 0);
    EXPECT_EQ(service.phoneShutdown(phoneApp), PHONEERR_INVALAPPHANDLE);
}

// The program's own line and phone initialisation, run against the service.
TEST_F(Structures, TheProgramsInitialisationFindsTheVoiceModemAndItsPhone) {
    telephony::TelephonyHandles handles;
    porthold::testing::RecordingStatusLine statusLine;
    porthold::testing::ScriptedMessageBoxes messageBoxes;
    porthold::testing::RecordingErrorLog errorLog;
    telephony::LineInitializer initializer(service, handles, statusLine, messageBoxes, errorLog, 0);

    EXPECT_TRUE(initializer.LineInit());
    EXPECT_TRUE(initializer.InitPhone());
    EXPECT_TRUE(errorLog.lines.empty());
    EXPECT_NE(handles.lineHandle, 0u);
    EXPECT_NE(handles.phoneHandle, 0u);
    EXPECT_EQ(handles.lineStatus.Size(), sizeof(LINEDEVSTATUS));

    ASSERT_EQ(line.Dial(), DialResult::Offered);
    line.Ring();
    LINEMESSAGE message{};
    std::vector<DWORD> identifiers;
    while (service.lineGetMessage(handles.lineApp, &message, 0) == 0) {
        identifiers.push_back(message.dwMessageID);
    }
    EXPECT_EQ(identifiers,
              (std::vector<DWORD>{LINE_APPNEWCALL, LINE_CALLSTATE, LINE_LINEDEVSTATE}));
}

}  // namespace
}  // namespace porthold::service::testing
