// The service library as the program loads it, with porthold-phone calling
// its simulated line from another process, in real time. Each test has a
// configuration and a socket of its own in a temporary folder.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <vector>

#include "audio/wave_layout.h"
#include "line_host.h"
#include "platform/files.h"
#include "support/temporary_folder.h"

namespace porthold::service::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kServiceLibrary = PORTHOLD_SERVICE_LIBRARY;
const std::string kPhone = PORTHOLD_PHONE_PROGRAM;

// Generous: these tests share the machine with the rest of the suite.
constexpr std::uint32_t kLimit = 15000;

class ServiceLibrary : public ::testing::Test {
protected:
    ServiceLibrary() {
        folder.Write("lines.conf", "line test simulated-modem socket=" + Socket() + "\n");
        ::setenv("PORTHOLD_LINES_FILE", folder.File("lines.conf").c_str(), 1);
        ::unsetenv("PORTHOLD_LINE_SOCKET");
    }

    std::string Socket() const { return folder.File("line.sock"); }

    std::unique_ptr<PhoneProcess> Phone(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin() + 1, {"--socket", Socket()});
        return std::make_unique<PhoneProcess>(kPhone, arguments, folder.Path());
    }

    porthold::testing::TemporaryFolder folder;
};

TEST_F(ServiceLibrary, TheProgramsBindingInitialisesTheLineAndGetsItsVoiceChannel) {
    {
        LineHost host(kServiceLibrary, {});
        ASSERT_TRUE(host.Start());
        EXPECT_TRUE(platform::FileExists(Socket())) << "the line listens for callers";
        EXPECT_EQ(host.ActiveCalls(), 0u);
    }
    EXPECT_FALSE(platform::FileExists(Socket())) << "and stops with the last application";

    DynamicLibraryLoader loader;
    TapiBinding binding({kServiceLibrary}, loader);
    const std::vector<platform::WaveDeviceProvider*> providers = binding.WaveDeviceProviders();
    ASSERT_EQ(providers.size(), 1u);
    EXPECT_FALSE(providers[0]->ServesDevice(100, platform::WaveDirection::Output))
        << "no service runs";
}

TEST_F(ServiceLibrary, RingsAndKeysReachTheProgramAndTheCallerHangsUp) {
    LineHost host(kServiceLibrary, {});
    ASSERT_TRUE(host.Start());
    // Keys count once the program monitors them, which it starts on the
    // connection; the caller gives it a moment.
    auto phone =
        Phone({"call", "--ring-every", "0.2", "wait:0.5", "keys:12#", "pulse:5", "hangup"});
    ASSERT_TRUE(host.RunUntil([&] { return phone->HasEnded(); }, kLimit)) << phone->Output();
    host.RunUntil([&] { return host.callStates.size() >= 4; }, 2000);

    EXPECT_EQ(phone->Wait(0), 0) << phone->Problems();
    EXPECT_THAT(phone->Events(), ElementsAre("dial", "ring 1", "ring 2", "answered", "key 1",
                                             "key 2", "key #", "key 5", "hangup by caller", "end"));
    // The first event; a loaded machine may take a millisecond to print it.
    EXPECT_LE(phone->TimeOf("dial"), 10u);
    EXPECT_GE(phone->TimeOf("ring 2") - phone->TimeOf("ring 1"), 190u);
    EXPECT_GE(phone->TimeOf("key 2") - phone->TimeOf("key 1"), 145u);

    EXPECT_EQ(host.offers, 1);
    EXPECT_THAT(host.ringCounts, ElementsAre(0u, 1u));
    EXPECT_EQ(host.keys, "12#5");
    EXPECT_THAT(host.digitModes, ElementsAre(LINEDIGITMODE_DTMF, LINEDIGITMODE_DTMF,
                                             LINEDIGITMODE_DTMF, LINEDIGITMODE_PULSE));
    EXPECT_THAT(host.callStates, ElementsAre(LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED,
                                             LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE));
    EXPECT_EQ(host.waveOutDevice, 100u);
    EXPECT_EQ(host.waveInDevice, 101u);
}

TEST_F(ServiceLibrary, TheCallerHearsWhatTheProgramPlaysUntilTheProgramHangsUp) {
    // Half a second of a 400 Hz tone.
    std::vector<std::int16_t> tone(4000);
    for (std::size_t index = 0; index < tone.size(); ++index) {
        tone[index] = static_cast<std::int16_t>(8000 * std::sin(index * 2 * 3.14159265 / 20));
    }
    LineHost::Script script;
    script.answerAtRing = 0;
    script.playOnConnect = tone;
    LineHost host(kServiceLibrary, script);
    ASSERT_TRUE(host.Start());
    auto phone = Phone({"call", "--ring-every", "0.2", "--hear", folder.File("heard.wav")});
    ASSERT_TRUE(host.RunUntil([&] { return phone->HasEnded(); }, kLimit)) << phone->Output();

    EXPECT_EQ(phone->Wait(0), 0) << phone->Problems();
    EXPECT_THAT(phone->Events(),
                ElementsAre("dial", "ring 1", "answered", "hangup by program", "end"));
    const auto heard = audio::ReadWaveSamples(folder.File("heard.wav"));
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->format.samplesPerSecond, 8000u);
    EXPECT_EQ(heard->format.channels, 1u);
    // The tone is there whole, after the silence before it started.
    const auto first = std::find_if(heard->samples.begin(), heard->samples.end(),
                                    [](std::int16_t sample) { return sample != 0; });
    ASSERT_NE(first, heard->samples.end());
    const auto offset = static_cast<std::size_t>(first - heard->samples.begin()) - 1;
    ASSERT_GE(heard->samples.size(), offset + tone.size());
    EXPECT_TRUE(std::equal(tone.begin(), tone.end(), heard->samples.begin() + offset));
    EXPECT_LT(offset, 8000u) << "played within a second of the answer";
}

TEST_F(ServiceLibrary, AnotherApplicationsCallMakesTheLineBusy) {
    LineHost host(kServiceLibrary, {});
    ASSERT_TRUE(host.Start());
    auto holder = Phone({"busy", "1.5"});
    EXPECT_TRUE(host.RunUntil([&] { return host.ActiveCalls() == 1; }, kLimit));

    // A caller now finds the line busy.
    PhoneProcess caller(kPhone, {"call", "--socket", Socket(), "hangup"}, folder.Path() + "c-");
    EXPECT_EQ(caller.Wait(kLimit), 4);
    EXPECT_THAT(caller.Problems(), HasSubstr("busy"));

    EXPECT_TRUE(host.RunUntil([&] { return holder->HasEnded(); }, kLimit));
    EXPECT_EQ(holder->Wait(0), 0) << holder->Problems();
    EXPECT_THAT(holder->Events(), ElementsAre("hold", "release"));
    EXPECT_EQ(host.ActiveCalls(), 0u);
    EXPECT_EQ(host.offers, 0);
}

TEST_F(ServiceLibrary, ACallerGivesUpAfterTheRingsAllowed) {
    LineHost::Script script;
    script.answerAtRing.reset();
    LineHost host(kServiceLibrary, script);
    ASSERT_TRUE(host.Start());
    auto phone = Phone({"call", "--ring-every", "0.2", "--rings-before-hangup", "2"});
    ASSERT_TRUE(host.RunUntil([&] { return phone->HasEnded(); }, kLimit));
    host.RunUntil([&] { return host.callStates.size() >= 3; }, 2000);

    EXPECT_EQ(phone->Wait(0), 0);
    EXPECT_THAT(phone->Events(),
                ElementsAre("dial", "ring 1", "ring 2", "hangup by caller", "end"));
    EXPECT_THAT(host.ringCounts, ElementsAre(0u, 1u));
    EXPECT_THAT(host.callStates, ElementsAre(LINECALLSTATE_OFFERING, LINECALLSTATE_DISCONNECTED,
                                             LINECALLSTATE_IDLE));
}

TEST_F(ServiceLibrary, BadInputIsRefusedBeforeDiallingAndAMissingLineIsSaid) {
    LineHost host(kServiceLibrary, {});
    ASSERT_TRUE(host.Start());
    folder.Write("text.wav", "not a wave file");
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"call", "dance:1"},
                                                      {"call", "keys:12E"},
                                                      {"call", "say:" + folder.File("missing.wav")},
                                                      {"call", "say:" + folder.File("text.wav")},
                                                      {"call", "--ring-every", "soon"},
                                                      {"busy"}}) {
        auto phone = Phone(arguments);
        EXPECT_EQ(phone->Wait(kLimit), 2) << arguments[1];
        EXPECT_THAT(phone->Problems(), HasSubstr("porthold-phone: "));
        EXPECT_THAT(phone->Output(), IsEmpty());
    }
    host.RunUntil([] { return false; }, 50);
    EXPECT_EQ(host.offers, 0) << "nothing was dialled";

    PhoneProcess nowhere(kPhone, {"call", "--socket", folder.File("nothing.sock")}, folder.Path());
    EXPECT_EQ(nowhere.Wait(kLimit), 3);
    EXPECT_THAT(nowhere.Problems(), HasSubstr("no line answers"));
}

}  // namespace
}  // namespace porthold::service::testing
