#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "app/application.h"
#include "platform/virtual_clock.h"
#include "support/fake_environment.h"
#include "support/scripted_message_boxes.h"
#include "support/temporary_folder.h"

namespace porthold::app {
namespace {

using Outcome = SingleInstance::Outcome;

class SingleInstanceTest : public ::testing::Test {
protected:
    std::string LockFile() const { return folder.Path() + "porthold/Quillmoor_Porthold.lock"; }

    porthold::testing::TemporaryFolder folder;
    platform::VirtualClock clock;
};

TEST(InstanceLockFileTest, LivesInTheUsersRuntimeFolderOrInAFolderOfTheUserUnderTmp) {
    porthold::testing::FakeEnvironment environment;
    environment.variables["XDG_RUNTIME_DIR"] = "/run/user/1000";
    EXPECT_EQ(InstanceLockFile(environment), "/run/user/1000/porthold/Quillmoor_Porthold.lock");
    const std::string fallback =
        "/tmp/porthold-" + std::to_string(::getuid()) + "/Quillmoor_Porthold.lock";
    environment.variables["XDG_RUNTIME_DIR"] = "relative";
    EXPECT_EQ(InstanceLockFile(environment), fallback);
    environment.variables.clear();
    EXPECT_EQ(InstanceLockFile(environment), fallback);
}

TEST_F(SingleInstanceTest, ASecondCopyWaitsASecondForTheFirstAndIsThenTurnedAway) {
    SingleInstance first(LockFile(), clock);
    ASSERT_EQ(first.Acquire(), Outcome::Acquired);
    struct stat status {};
    ASSERT_EQ(::stat(folder.File("porthold").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u) << "the folder is the user's alone";

    SingleInstance second(LockFile(), clock);
    const std::uint32_t start = clock.TickCount();
    EXPECT_EQ(second.Acquire(), Outcome::HeldByAnother);
    EXPECT_GE(clock.TickCount() - start, 1000u);
    EXPECT_LE(clock.TickCount() - start, 1100u);

    // Once the first lets go, the next attempt gets it at once.
    first.Release();
    const std::uint32_t retry = clock.TickCount();
    EXPECT_EQ(second.Acquire(), Outcome::Acquired);
    EXPECT_EQ(clock.TickCount(), retry);
}

TEST_F(SingleInstanceTest, ACopyThatDiesWithoutLettingGoReleasesTheLockByDying) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::VirtualClock childClock;
        SingleInstance crashing(LockFile(), childClock);
        const char byte = crashing.Acquire() == Outcome::Acquired ? 1 : 0;
        [[maybe_unused]] const auto written = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    SingleInstance next(LockFile(), clock);
    EXPECT_EQ(next.Acquire(), Outcome::HeldByAnother);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(next.Acquire(), Outcome::Acquired);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(SingleInstanceTest, AFolderOthersCanReachIsNotTrustedAndTheCheckIsSkipped) {
    ASSERT_EQ(::mkdir(folder.File("porthold").c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.File("porthold").c_str(), 0750), 0);
    SingleInstance instance(LockFile(), clock);
    EXPECT_EQ(instance.Acquire(), Outcome::Unchecked);
    EXPECT_NE(instance.Problem().find("open to other users"), std::string::npos)
        << instance.Problem();

    // The program starts all the same, and says why it could not check.
    porthold::testing::ScriptedMessageBoxes boxes;
    std::ostringstream problems;
    bool windowRan = false;
    EXPECT_TRUE(Application(instance, boxes, problems).InitInstance([&] { windowRan = true; }));
    EXPECT_TRUE(windowRan);
    EXPECT_NE(problems.str().find("open to other users"), std::string::npos) << problems.str();
}

TEST_F(SingleInstanceTest, TheApplicationTellsASecondCopyAndNeverOpensItsWindow) {
    SingleInstance running(LockFile(), clock);
    ASSERT_EQ(running.Acquire(), Outcome::Acquired);
    SingleInstance starting(LockFile(), clock);
    porthold::testing::ScriptedMessageBoxes boxes;
    boxes.QueueAnswer(platform::MessageBoxAnswer::Ok);
    bool windowRan = false;

    EXPECT_FALSE(Application(starting, boxes).InitInstance([&] { windowRan = true; }));

    EXPECT_FALSE(windowRan);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "An instance of this program is already running.");
    EXPECT_EQ(boxes.shown()[0].caption, "Porthold");
    EXPECT_EQ(boxes.shown()[0].icon, platform::MessageBoxIcon::Information);
    EXPECT_TRUE(running.IsHeld()) << "the running copy is left alone";

    running.Release();
    EXPECT_TRUE(Application(starting, boxes).InitInstance([&] { windowRan = true; }));
    EXPECT_TRUE(windowRan);
    EXPECT_TRUE(starting.IsHeld());
}

}  // namespace
}  // namespace porthold::app
