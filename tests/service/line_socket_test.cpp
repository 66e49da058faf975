// The simulated line's socket: what it takes from a phone, what it refuses,
// the socket file it makes, and how it weathers a shortage of descriptors.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "line_connection.h"
#include "platform/system_clock.h"
#include "service/line_socket_server.h"
#include "service/telephony_service.h"
#include "support/child_process.h"
#include "support/temporary_folder.h"

namespace porthold::service {
namespace {

using namespace telephony;
using ::testing::HasSubstr;

constexpr int kLimit = 10000;

bool ConnectTo(int connection, const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    return ::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class LineSocket : public ::testing::Test {
protected:
    LineSocket() {
        LINEINITIALIZEEXPARAMS parameters{};
        parameters.dwTotalSize = sizeof(parameters);
        parameters.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        DWORD devices = 0;
        DWORD version = TAPI_VERSION2_1;
        service.lineInitializeExW(&app, 0, nullptr, nullptr, &devices, &version, &parameters);
        service.lineOpenW(app, 0, &lineHandle, TAPI_VERSION2_1, 0, 0, LINECALLPRIVILEGE_OWNER,
                          LINEMEDIAMODE_AUTOMATEDVOICE, nullptr);
    }

    std::string Socket() const { return folder.File("line.sock"); }

    // Waits for a message of the service with this identifier (and call state).
    bool AwaitMessage(DWORD messageId, DWORD param1, LINEMESSAGE& message) {
        const std::uint32_t start = clock.TickCount();
        while (clock.TickCount() - start < kLimit) {
            if (service.lineGetMessage(app, &message, 0) == 0) {
                if (message.dwMessageID == messageId && message.dwParam1 == param1) {
                    return true;
                }
                continue;
            }
            clock.Sleep(5);
        }
        return false;
    }

    // A connection that sends raw bytes.
    int RawConnection() {
        const int connection = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_TRUE(ConnectTo(connection, Socket()));
        return connection;
    }

    // Everything the line says until it closes the connection.
    static std::string ReadToEnd(int connection) {
        std::string received;
        char buffer[4096];
        timeval limit{10, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        for (ssize_t count; (count = ::recv(connection, buffer, sizeof(buffer), 0)) > 0;) {
            received.append(buffer, static_cast<std::size_t>(count));
        }
        ::close(connection);
        return received;
    }

    porthold::testing::TemporaryFolder folder;
    platform::SystemClock clock;
    TelephonyService service{clock};
    SimulatedModemLine& line =
        service.AddLine(std::make_unique<SimulatedModemLine>(clock, "desk", 100, 101));
    HLINEAPP app = 0;
    HLINE lineHandle = 0;
};

TEST_F(LineSocket, WhatCannotBeTakenEndsThatConnectionOnlyAndAVanishedPhoneHasHungUp) {
    LineSocketServer server(line, clock, Socket());
    std::string problem;
    ASSERT_TRUE(server.Start(problem)) << problem;
    struct stat status {};
    ASSERT_EQ(::lstat(Socket().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    for (const std::string& bad : {std::string("HELLO\n"), std::string(300, 'x'),
                                   std::string("KEY 12 DTMF\n"), std::string("SAY 3\nabc")}) {
        const int connection = RawConnection();
        ASSERT_EQ(::send(connection, bad.data(), bad.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bad.size()));
        const std::string said = ReadToEnd(connection);
        EXPECT_THAT(said, HasSubstr("PORTHOLD-LINE 1 desk\n"));
        EXPECT_THAT(said, HasSubstr("\nERROR ")) << bad.substr(0, 12);
    }
    // Half a message, then gone.
    const int half = RawConnection();
    ::send(half, "SAY 100\nab", 10, MSG_NOSIGNAL);
    ::close(half);

    auto phone = std::make_unique<phone::LineConnection>(clock);
    ASSERT_TRUE(phone->Connect(Socket(), problem)) << problem;
    EXPECT_EQ(phone->LineName(), "desk");
    ASSERT_TRUE(phone->Send("DIAL"));
    ProtocolMessage reply;
    ASSERT_EQ(phone->Next(reply, kLimit), phone::LineConnection::Result::Message);
    EXPECT_EQ(reply.command, "OFFERED");
    LINEMESSAGE message{};
    ASSERT_TRUE(AwaitMessage(LINE_APPNEWCALL, 0, message));
    const HCALL call = message.dwParam2;
    ASSERT_GT(service.lineAnswer(call, nullptr, 0), 0);
    ASSERT_EQ(phone->Next(reply, kLimit), phone::LineConnection::Result::Message);
    EXPECT_EQ(reply.command, "ANSWERED");

    // A second phone finds the line busy.
    phone::LineConnection second(clock);
    ASSERT_TRUE(second.Connect(Socket(), problem));
    second.Send("DIAL");
    ASSERT_EQ(second.Next(reply, kLimit), phone::LineConnection::Result::Message);
    EXPECT_EQ(reply.command, "BUSY");

    // The first phone goes away without a word.
    phone.reset();
    EXPECT_TRUE(AwaitMessage(LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, message));
}

TEST_F(LineSocket, AStaleSocketIsReplacedButNotALiveOneOrAnotherFile) {
    // A socket file whose service has ended.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, Socket().c_str(), Socket().size() + 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(stale);

    std::string problem;
    {
        LineSocketServer server(line, clock, Socket());
        ASSERT_TRUE(server.Start(problem)) << problem;
        LineSocketServer rival(line, clock, Socket());
        EXPECT_FALSE(rival.Start(problem));
        EXPECT_THAT(problem, HasSubstr("another line service is listening"));
    }
    EXPECT_NE(::access(Socket().c_str(), F_OK), 0) << "removed at the end";

    folder.Write("file.sock", "mine");
    LineSocketServer onFile(line, clock, folder.File("file.sock"));
    EXPECT_FALSE(onFile.Start(problem));
    EXPECT_EQ(folder.Read("file.sock"), "mine");

    ASSERT_EQ(::mkdir(folder.File("open").c_str(), 0777), 0);
    ::chmod(folder.File("open").c_str(), 0777);
    LineSocketServer inOpenFolder(line, clock, folder.File("open/line.sock"));
    EXPECT_FALSE(inOpenFolder.Start(problem));
    EXPECT_THAT(problem, HasSubstr("open to other users"));

    LineSocketServer inNewFolder(line, clock, folder.File("new/line.sock"));
    EXPECT_TRUE(inNewFolder.Start(problem)) << problem;
    struct stat status {};
    ASSERT_EQ(::lstat(folder.File("new").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(LineSocket, AConnectionFromAnotherUserIsClosedUnheardAndLogged) {
    std::ostringstream log;
    {
        LineSocketServer server(line, clock, Socket(), log, ::getuid() + 1);
        std::string problem;
        ASSERT_TRUE(server.Start(problem)) << problem;
        EXPECT_EQ(ReadToEnd(RawConnection()), "") << "not even greeted";
    }
    EXPECT_THAT(log.str(), HasSubstr("refused a connection on " + Socket() + " from user " +
                                     std::to_string(::getuid())));
}

// How a shortage of descriptors shows: accept finds none for a connection,
// or the limit is below even what the server watches and poll fails too.
enum class Shortage { NoDescriptorToAccept, LimitBelowWatched };

// The process runs short of descriptors while a phone calls: the server says
// so once, waits rather than spins, says when it is over, and serves phones
// once descriptors are to be had again.
std::string ServeThroughAShortage(Shortage shortage, const std::string& socketPath,
                                  const std::string& logFile) {
    const bool accepting = shortage == Shortage::NoDescriptorToAccept;
    const std::string trouble = (accepting ? "cannot accept" : "cannot wait for") +
                                std::string(" connections on ") + socketPath;
    const std::string recovery = accepting
                                     ? "accepting connections on " + socketPath + " again"
                                     : "waiting for connections on " + socketPath + " works again";
    platform::SystemClock clock;
    SimulatedModemLine line(clock, "desk", 100, 101);
    std::ofstream log(logFile);
    // Opened before the shortage, so that the log can be read during it.
    const int logReader = ::open(logFile.c_str(), O_RDONLY | O_CLOEXEC);
    const auto logged = [logReader] {
        char buffer[4096];
        const ssize_t count = ::pread(logReader, buffer, sizeof(buffer), 0);
        return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
    };
    {
        LineSocketServer server(line, clock, socketPath, log);
        std::string problem;
        if (!server.Start(problem)) {
            return problem;
        }
        const int phone = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        rlimit original{};
        ::getrlimit(RLIMIT_NOFILE, &original);
        rlimit lowered = original;
        lowered.rlim_cur = accepting ? static_cast<rlim_t>(phone) + 8 : 1;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        std::vector<int> fillers;
        for (int filler; fillers.size() < 64 && (filler = ::dup(phone)) >= 0;) {
            fillers.push_back(filler);
        }
        if (!ConnectTo(phone, socketPath) ||
            !porthold::testing::WaitFor([&] { return logged().find(trouble) != std::string::npos; },
                                        kLimit)) {
            return "the shortage is not logged: " + logged();
        }
        std::for_each(fillers.begin(), fillers.end(), ::close);
        ::setrlimit(RLIMIT_NOFILE, &original);
        ::close(phone);
        phone::LineConnection next(clock);
        if (!next.Connect(socketPath, problem)) {
            return "not served after the shortage: " + problem;
        }
    }
    const std::string text = logged();
    if (Occurrences(text, trouble) != 1 || Occurrences(text, recovery) != 1) {
        return "the shortage is not logged once, then its end: " + text;
    }
    return "";
}

// Each in a process of its own, whose descriptor limit it lowers.
TEST(LineSocketShortage, TheServerBacksOffLogsOnceAndServesAgain) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime opens descriptors of its own to check memory,
    // and takes the shortage for a fault of the program.
    GTEST_SKIP() << "not under the sanitizers";
#endif
    for (const Shortage shortage : {Shortage::NoDescriptorToAccept, Shortage::LimitBelowWatched}) {
        porthold::testing::TemporaryFolder folder;
        EXPECT_EXIT(
            {
                const std::string failure = ServeThroughAShortage(
                    shortage, folder.File("line.sock"), folder.File("server.log"));
                std::cerr << failure;
                std::_Exit(failure.empty() ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }
}

}  // namespace
}  // namespace porthold::service
