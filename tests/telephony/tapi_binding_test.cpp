#include "telephony/tapi_binding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/recording_error_log.h"
#include "support/recording_status_line.h"
#include "support/scripted_message_boxes.h"
#include "support/temporary_folder.h"
#include "telephony/line_initializer.h"

namespace porthold::telephony {
namespace {

using testing::RecordingErrorLog;
using testing::RecordingStatusLine;
using testing::ScriptedMessageBoxes;
using testing::TemporaryFolder;
using Names = std::vector<std::string>;

// The stand-in service library built beside this test program.
const std::string kStandInLibrary = PORTHOLD_FAKE_TAPI_LIBRARY;

// The system's dynamic linker, noting every library and entry point asked for.
class CountingLoader final : public LibraryLoader {
public:
    Library Open(const std::string& path) override {
        opened.push_back(path);
        return linker_.Open(path);
    }
    void* FindEntry(Library library, const char* name) override {
        looked.emplace_back(name);
        return linker_.FindEntry(library, name);
    }

    Names opened;
    Names looked;

private:
    DynamicLibraryLoader linker_;
};

// Makes every request once, with arguments that would not survive being
// passed on: none of them may reach a library.
std::vector<LONG> CallEveryOperation(Tapi& tapi) {
    return {
        tapi.lineAnswer(0, nullptr, 0),
        tapi.lineClose(0),
        tapi.lineDeallocateCall(0),
        tapi.lineDrop(0, nullptr, 0),
        tapi.lineGetDevCapsW(0, 0, 0, 0, nullptr),
        tapi.lineGetIDA(0, 0, 0, 0, nullptr, nullptr),
        tapi.lineGetLineDevStatus(0, nullptr),
        tapi.lineGetMessage(0, nullptr, 0),
        tapi.lineInitializeExW(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr),
        tapi.lineMonitorDigits(0, 0),
        tapi.lineNegotiateAPIVersion(0, 0, 0, 0, nullptr, nullptr),
        tapi.lineOpenW(0, 0, nullptr, 0, 0, 0, 0, 0, nullptr),
        tapi.lineSetStatusMessages(0, 0, 0),
        tapi.lineShutdown(0),
        tapi.phoneClose(0),
        tapi.phoneGetDevCapsA(0, 0, 0, 0, nullptr),
        tapi.phoneInitializeExA(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr),
        tapi.phoneNegotiateAPIVersion(0, 0, 0, 0, nullptr, nullptr),
        tapi.phoneOpen(0, 0, nullptr, 0, 0, 0, 0),
        tapi.phoneSetStatusMessages(0, 0, 0, 0),
        tapi.phoneShutdown(0),
    };
}

TEST(TapiBinding, WithoutTheLibraryEveryOperationIsUnavailableAndLoadingIsTriedOnce) {
    TemporaryFolder folder;
    CountingLoader loader;
    TapiBinding binding({folder.File("TAPI32.DLL")}, loader);

    std::vector<LONG> expected(14, LINEERR_OPERATIONUNAVAIL);
    expected.insert(expected.end(), 7, PHONEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(CallEveryOperation(binding), expected);
    EXPECT_EQ(CallEveryOperation(binding), expected);

    EXPECT_EQ(loader.opened, Names{folder.File("TAPI32.DLL")});
    EXPECT_TRUE(loader.looked.empty());
}

TEST(TapiBinding, ForwardsToTheEntryPointsTheLibraryExports) {
    TemporaryFolder folder;
    CountingLoader loader;
    TapiBinding binding({folder.File("missing.so"), kStandInLibrary}, loader);

    LINEINITIALIZEEXPARAMS parameters{};
    parameters.dwTotalSize = sizeof(parameters);
    parameters.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    HLINEAPP lineApp = 0;
    DWORD deviceCount = 0;
    DWORD version = TAPI_VERSION2_1;
    EXPECT_EQ(binding.lineInitializeExW(&lineApp, 0, nullptr, nullptr, &deviceCount, &version,
                                        &parameters),
              0);
    EXPECT_EQ(lineApp, 42u);
    EXPECT_EQ(deviceCount, 1u);

    // Results come back unchanged, failures included.
    EXPECT_EQ(binding.lineShutdown(5), LINEERR_INVALAPPHANDLE);
    EXPECT_EQ(binding.lineShutdown(42), 0);

    EXPECT_EQ(loader.opened, (Names{folder.File("missing.so"), kStandInLibrary}));
    EXPECT_EQ(loader.looked, (Names{"lineInitializeExW", "lineShutdown"}))
        << "each entry point is looked up once";
}

TEST(TapiBinding, AnEntryPointTheLibraryLacksStaysUnavailable) {
    CountingLoader loader;
    TapiBinding binding({kStandInLibrary}, loader);

    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(binding.lineAnswer(1, nullptr, 0), LINEERR_OPERATIONUNAVAIL);
        EXPECT_EQ(
            binding.phoneInitializeExA(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr),
            PHONEERR_OPERATIONUNAVAIL);
    }
    EXPECT_EQ(binding.lineShutdown(42), 0) << "the other operations work";

    EXPECT_EQ(loader.looked, (Names{"lineAnswer", "phoneInitializeExA", "lineShutdown"}));
}

TEST(TapiBinding, LooksBesideTheProgramFirstThenAlongTheLibraryPath) {
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(DefaultTapiLibraryCandidates(),
              (Names{(program.parent_path() / "TAPI32.DLL").string(), "TAPI32.DLL"}));

    // The stand-in is built under the service's name beside this program.
    TapiBinding binding;
    EXPECT_EQ(binding.lineShutdown(42), 0);
}

TEST(TapiBinding, HandsOverNoWaveDevicesWithoutTheServiceOrItsHandOver) {
    TemporaryFolder folder;
    CountingLoader loader;
    TapiBinding missing({folder.File("TAPI32.DLL")}, loader);
    EXPECT_TRUE(missing.WaveDeviceProviders().empty());

    TapiBinding withoutHandOver({kStandInLibrary}, loader);
    EXPECT_TRUE(withoutHandOver.WaveDeviceProviders().empty());
    EXPECT_EQ(withoutHandOver.lineShutdown(42), 0) << "the telephony operations still work";
}

class InitialisationThroughTheBinding : public ::testing::Test {
protected:
    TelephonyHandles handles;
    RecordingStatusLine statusLine;
    ScriptedMessageBoxes messageBoxes;
    RecordingErrorLog errorLog;
    CountingLoader loader;
};

TEST_F(InitialisationThroughTheBinding, WithoutTheServiceLineInitialisationFailsAndSaysWhy) {
    TemporaryFolder folder;
    TapiBinding binding({folder.File("TAPI32.DLL")}, loader);
    LineInitializer initializer(binding, handles, statusLine, messageBoxes, errorLog, 0);

    EXPECT_FALSE(initializer.LineInit());
    EXPECT_FALSE(initializer.InitPhone());

    EXPECT_EQ(errorLog.lines, Names{"LineInit: lineInitializeEx OPERATIONUNAVAIL"});
    EXPECT_TRUE(messageBoxes.shown().empty());
}

TEST_F(InitialisationThroughTheBinding, AServiceWithoutPhoneEntryPointsStillOpensTheLine) {
    TapiBinding binding({kStandInLibrary}, loader);
    LineInitializer initializer(binding, handles, statusLine, messageBoxes, errorLog, 0);

    EXPECT_TRUE(initializer.LineInit());
    EXPECT_FALSE(initializer.InitPhone());

    EXPECT_EQ(handles.lineApp, 42u);
    EXPECT_EQ(handles.lineHandle, 7u);
    EXPECT_EQ(handles.phoneHandle, 0u);
    EXPECT_TRUE(errorLog.lines.empty());
}

}  // namespace
}  // namespace porthold::telephony
