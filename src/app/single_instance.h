#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/environment.h"

namespace porthold::app {

// The name under which one running copy of the program is recognised.
inline constexpr std::string_view kInstanceName = "Quillmoor_Porthold";
// How long a starting copy waits for a running one to go.
inline constexpr std::uint32_t kInstanceWaitMilliseconds = 1000;

// The lock file that marks the user's running copy: "Quillmoor_Porthold.lock"
// in the runtime folder (platform/private_folder.h), the one the telephony
// service keeps its sockets in.
std::string InstanceLockFile(const platform::ProcessEnvironment& environment);

// One running copy per user: an exclusive lock on the lock file. The lock
// belongs to the open file, so a copy that crashes gives it up by dying and
// the next copy starts normally.
class SingleInstance {
public:
    enum class Outcome {
        Acquired,
        // Another copy kept it for the whole wait.
        HeldByAnother,
        // The lock could not be set up (no safe folder, no file): the program
        // starts without the check.
        Unchecked,
    };

    SingleInstance(std::string lockFile, platform::Clock& clock);
    // Gives the lock up, if still held, with the file.
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock, waiting up to `waitMilliseconds` on the clock for a copy
    // that holds it to let it go.
    Outcome Acquire(std::uint32_t waitMilliseconds = kInstanceWaitMilliseconds);

    // Lets the lock go; the file stays open until the object goes.
    void Release();

    bool IsHeld() const { return held_; }
    // Why Acquire last came out Unchecked ("... is open to other users ...").
    const std::string& Problem() const { return problem_; }
    const std::string& LockFile() const { return lockFile_; }

private:
    // Between two attempts while another copy holds the lock.
    static constexpr std::uint32_t kRetryMilliseconds = 20;

    bool OpenLockFile();

    std::string lockFile_;
    platform::Clock& clock_;
    int descriptor_ = -1;
    bool held_ = false;
    std::string problem_;
};

}  // namespace porthold::app
