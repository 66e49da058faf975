#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "service/sip_stack/sip_line.h"
#include "sip_line_fixture.h"
#include "sip_test_support.h"
#include "support/child_process.h"
#include "support/temporary_folder.h"

namespace porthold::service {
namespace {

using testing::ChildProcess;
using testing::WaitFor;

constexpr const char* kPassword = "Quiet-Harbour-7";

class SilentAudio final : public sip::CallAudio {
public:
    void BeginCallAudio(sip::FrameSender&) override {}
    void ReceiveAudio(std::uint16_t, std::uint32_t, std::span<const std::int16_t>) override {}
    void EndCallAudio() override {}
};

// A UDP socket bound to a loopback port (0: a free one), or -1 when the port
// is taken.
int BindLoopback(std::uint16_t port, std::uint16_t& bound) {
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(socket);
        return -1;
    }
    socklen_t size = sizeof(address);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    bound = ntohs(address.sin_port);
    return socket;
}

// A line with registrar sip:127.0.0.1:<port>, user 1001 and a password file
// of the given mode.
class SipRegistrationTest : public ::testing::Test {
protected:
    void StartLine(std::uint16_t registrarPort, mode_t passwordMode) {
        folder_.Write("password", std::string(kPassword) + "\n");
        ASSERT_EQ(::chmod(folder_.File("password").c_str(), passwordMode), 0);
        SipLineSettings settings;
        settings.listen = {"127.0.0.1", AddressFamily::IPv4, 0};
        settings.registrar = "sip:127.0.0.1:" + std::to_string(registrarPort);
        settings.user = "1001";
        settings.passwordFile = folder_.File("password");
        line_ = std::make_unique<SipLine>("sip1", settings, devices_, 90, 91, audio_, problems_);
        ASSERT_NE(line_->ListeningPort(), 0) << problems_.str();
    }

    // sipp playing the registrar on a free loopback port, once it listens.
    std::unique_ptr<ChildProcess> StartRegistrar(const std::string& scenario,
                                                 std::vector<std::string> extra = {}) {
        ::close(BindLoopback(0, registrarPort_));
        std::vector<std::string> arguments{"-sf",
                                           std::string(PORTHOLD_SIPP_SCENARIOS) + "/" + scenario};
        arguments.insert(arguments.end(),
                         {"-i", "127.0.0.1", "-p", std::to_string(registrarPort_)});
        arguments.insert(arguments.end(), {"-m", "1", "-timeout", "10", "-timeout_error"});
        arguments.push_back("-nostdin");
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        auto registrar =
            std::make_unique<ChildProcess>(PORTHOLD_SIPP_PROGRAM, arguments, folder_.Path(),
                                           testing::CurrentEnvironment(), folder_.File("sipp"));
        // It listens once its port can no longer be taken.
        const bool listening = WaitFor(
            [&] {
                std::uint16_t unused = 0;
                const int socket = BindLoopback(registrarPort_, unused);
                if (socket < 0) {
                    return true;
                }
                ::close(socket);
                return false;
            },
            5000);
        EXPECT_TRUE(listening) << registrar->Output() << registrar->Errors();
        return registrar;
    }

    std::string Problems() const { return problems_.str(); }

    testing::TemporaryFolder folder_;
    testing::NoWaveDevices devices_;
    SilentAudio audio_;
    // Written on the line's thread while the test reads it.
    line_testing::ProblemLines problems_;
    std::unique_ptr<SipLine> line_;
    std::uint16_t registrarPort_ = 0;
};

// sipp plays the registrar: it challenges both the registration and, when
// the line closes, its end, and fails unless each answer fits the password.
TEST_F(SipRegistrationTest, RegistersWithDigestAndUnregistersWhenClosed) {
    const auto registrar =
        StartRegistrar("registrar_with_digest.xml", {"-set", "password", kPassword});
    StartLine(registrarPort_, 0600);
    ASSERT_TRUE(
        WaitFor([&] { return Problems().find("registered as") != std::string::npos; }, 5000))
        << Problems() << registrar->Output() << registrar->Errors();
    EXPECT_NE(Problems().find("registered as sip:1001@127.0.0.1 for 3600 s"), std::string::npos)
        << Problems();
    line_.reset();
    EXPECT_EQ(registrar->Wait(5000), 0) << registrar->Output() << registrar->Errors() << Problems();
    EXPECT_EQ(Problems().find(kPassword), std::string::npos);
}

// libre would register again at once after a grant of no time, and again;
// the line stops that and waits before it tries again.
TEST_F(SipRegistrationTest, GrantOfNoTimeIsNotRetriedAtOnce) {
    const auto registrar = StartRegistrar("registrar_granting_no_time.xml");
    StartLine(registrarPort_, 0600);
    EXPECT_EQ(registrar->Wait(5000), 0) << registrar->Output() << registrar->Errors() << Problems();
    EXPECT_NE(Problems().find("accepted the registration for no time"), std::string::npos);
    EXPECT_NE(Problems().find("tries to register again in 30 s"), std::string::npos) << Problems();
}

// A password file others may read is refused: the line says why, sends no
// REGISTER, and still takes calls sent straight to it.
TEST_F(SipRegistrationTest, PasswordFileOthersMayReadIsRefusedAndNothingIsSent) {
    std::uint16_t port = 0;
    const int registrar = BindLoopback(0, port);
    StartLine(port, 0644);
    EXPECT_NE(Problems().find("has mode 0644"), std::string::npos) << Problems();
    EXPECT_EQ(Problems().find("registered as"), std::string::npos);
    char buffer[512];
    const timeval limit{0, 500000};
    ::setsockopt(registrar, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    EXPECT_LT(::recv(registrar, buffer, sizeof(buffer), 0), 0);
    ::close(registrar);
    EXPECT_EQ(Problems().find(kPassword), std::string::npos);
}

}  // namespace
}  // namespace porthold::service
