#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace porthold::testing {

// A program run as a child process in a folder of its own choosing, with an
// environment of its own, its output and errors collected in files.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& workingFolder,
                 const std::map<std::string, std::string>& environment,
                 const std::string& outputPrefix);
    // Kills it if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool HasEnded();
    void Signal(int signalNumber);
    // The exit status once ended; -1 when it did not end in time, or ended by a signal.
    int Wait(std::uint32_t limitMilliseconds);

    std::string Output() const;
    std::string Errors() const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool ended_ = false;
    std::string outputFile_;
    std::string errorsFile_;
};

// This process's own environment, for a child that should see it with a few
// changes.
std::map<std::string, std::string> CurrentEnvironment();

// Polls `condition` every 20 ms for up to `limitMilliseconds`; whether it held.
bool WaitFor(const std::function<bool()>& condition, std::uint32_t limitMilliseconds);

}  // namespace porthold::testing
