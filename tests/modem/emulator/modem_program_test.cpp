// porthold-modem as a user runs it, in real time: a modem on a
// pseudo-terminal whose line porthold-phone calls.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <string>

#include "support/child_process.h"
#include "support/temporary_folder.h"

namespace porthold::modem_emulator {
namespace {

using porthold::testing::ChildProcess;
using porthold::testing::CurrentEnvironment;
using porthold::testing::WaitFor;

constexpr std::uint32_t kLimit = 10000;

// Reads the terminal until `expected` has come; everything read so far.
bool ReadUntil(int terminal, const std::string& expected, std::string& read) {
    return WaitFor(
        [&] {
            std::array<char, 256> buffer{};
            const ssize_t count = ::read(terminal, buffer.data(), buffer.size());
            if (count > 0) {
                read.append(buffer.data(), static_cast<std::size_t>(count));
            }
            return read.find(expected) != std::string::npos;
        },
        kLimit);
}

TEST(ModemEmulatorProgram, AnswersOnItsTerminalAndRingsWhenAPhoneCalls) {
    const porthold::testing::TemporaryFolder folder;
    const std::string socket = folder.File("run/modem.sock");
    const std::string link = folder.File("ttyModem");
    ChildProcess modem(PORTHOLD_MODEM_PROGRAM, {"--socket", socket, "--link", link}, folder.Path(),
                       CurrentEnvironment(), folder.File("modem"));
    ASSERT_TRUE(
        WaitFor([&] { return modem.Output().find("line socket") != std::string::npos; }, kLimit))
        << modem.Errors();
    EXPECT_NE(modem.Output().find("modem on /dev/pts/"), std::string::npos);

    const int terminal = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    termios settings{};
    ::tcgetattr(terminal, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(terminal, TCSANOW, &settings);
    ASSERT_EQ(::write(terminal, "AT\r", 3), 3);
    std::string read;
    EXPECT_TRUE(ReadUntil(terminal, "\r\nOK\r\n", read)) << read;

    ChildProcess second(PORTHOLD_MODEM_PROGRAM, {"--socket", socket}, folder.Path(),
                        CurrentEnvironment(), folder.File("second"));
    EXPECT_EQ(second.Wait(kLimit), 1) << "the socket is taken";
    EXPECT_NE(second.Errors().find("porthold-modem: "), std::string::npos);

    ChildProcess phone(
        PORTHOLD_PHONE_PROGRAM,
        {"call", "--socket", socket, "--ring-every", "0.2", "--rings-before-hangup", "2"},
        folder.Path(), CurrentEnvironment(), folder.File("phone"));
    read.clear();
    EXPECT_TRUE(ReadUntil(terminal, "\r\nRING\r\n", read)) << read << phone.Errors();
    phone.Wait(kLimit);
    ::close(terminal);

    modem.Signal(SIGTERM);
    EXPECT_EQ(modem.Wait(kLimit), 0) << modem.Errors();
    struct stat status {};
    EXPECT_NE(::lstat(link.c_str(), &status), 0) << "the link goes with the modem";
}

}  // namespace
}  // namespace porthold::modem_emulator
