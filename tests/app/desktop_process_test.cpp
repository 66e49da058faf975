// The program's process as a whole: a termination signal reaches the event
// loop whichever thread it is sent from, and a start without a display ends
// with a plain explanation rather than an abort.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <thread>
#include <utility>
#include <vector>

#include "app/termination_signals.h"
#include "platform/files.h"
#include "support/child_process.h"
#include "support/temporary_folder.h"

namespace porthold::app::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kProgram = PORTHOLD_PROGRAM;

// The limit only keeps a lost signal from hanging the test: a pending signal
// is read as soon as the loop runs.
void RunAtMostTenSeconds(QEventLoop& loop) {
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(10000);
    loop.exec();
}

TEST(TerminationSignals, ASignalFromAnyThreadIsHandledOnTheEventLoopAndALateOneIsDropped) {
    int handled = 0;
    {
        QEventLoop loop;
        TerminationSignals terminationSignals([&] {
            ++handled;
            loop.quit();
        });
        ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
        EXPECT_EQ(handled, 0) << "nothing may run inside the signal";
        RunAtMostTenSeconds(loop);
        EXPECT_EQ(handled, 1);

        std::thread([] { ::kill(::getpid(), SIGHUP); }).join();
        RunAtMostTenSeconds(loop);
        EXPECT_EQ(handled, 2);
        // Left unread: the shutdown it asks for is under way already.
        ASSERT_EQ(::kill(::getpid(), SIGINT), 0);
    }
    // Still running, and a signal from now on takes its default course.
    sigset_t mask;
    ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &mask), 0);
    EXPECT_FALSE(sigismember(&mask, SIGTERM));
    EXPECT_EQ(handled, 2);
}

TEST(NoDisplay, TheProgramSaysWhatIsMissingAndEndsWithAFailure) {
    porthold::testing::TemporaryFolder folder;
    auto environment = porthold::testing::CurrentEnvironment();
    environment.erase("WAYLAND_DISPLAY");
    environment["HOME"] = folder.Path();
    environment["XDG_CONFIG_HOME"] = folder.File("config");
    environment["XDG_RUNTIME_DIR"] = folder.File("run");
    environment["PORTHOLD_REGISTRY_FILE"] = folder.File("registry.reg");

    // No display named, and one named that cannot be reached: then Qt's own
    // word on it comes first.
    for (const auto& [platform, display] : std::vector<std::pair<std::string, std::string>>{
             {"", ""}, {"xcb", ""}, {"xcb", ":31999"}}) {
        environment.erase("QT_QPA_PLATFORM");
        environment.erase("DISPLAY");
        if (!platform.empty()) {
            environment["QT_QPA_PLATFORM"] = platform;
        }
        if (!display.empty()) {
            environment["DISPLAY"] = display;
        }
        porthold::testing::ChildProcess porthold(kProgram, {}, folder.Path(), environment,
                                                 folder.File("porthold"));
        EXPECT_EQ(porthold.Wait(10000), 1) << platform << display << ": " << porthold.Errors();
        EXPECT_THAT(porthold.Errors(),
                    HasSubstr("Porthold needs a graphical display, and none could be opened. "
                              "Set DISPLAY, or run it under a virtual one: xvfb-run"));
        EXPECT_THAT(porthold.Errors(), Not(HasSubstr("Reinstalling")));
    }
    EXPECT_FALSE(platform::FileExists(folder.File("registry.reg")));
}

}  // namespace
}  // namespace porthold::app::testing

// As the program does, the signals are blocked before anything can start a
// thread; the event loop needs an application object, but no display.
int main(int argc, char** argv) {
    porthold::app::BlockTerminationSignals();
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
