#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/files.h"

extern char** environ;

namespace porthold::testing {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& workingFolder,
                           const std::map<std::string, std::string>& environment,
                           const std::string& outputPrefix)
    : outputFile_(outputPrefix + ".out"), errorsFile_(outputPrefix + ".err") {
    std::vector<std::string> variables;
    for (const auto& [name, value] : environment) {
        variables.push_back(name + "=" + value);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        const int output = ::open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errors = ::open(errorsFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int input = ::open("/dev/null", O_RDONLY);
        if (output < 0 || errors < 0 || input < 0 || ::dup2(output, 1) < 0 ||
            ::dup2(errors, 2) < 0 || ::dup2(input, 0) < 0 || ::chdir(workingFolder.c_str()) != 0) {
            ::_exit(126);
        }
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !HasEnded()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
}

bool ChildProcess::HasEnded() {
    if (ended_ || pid_ <= 0) {
        return true;
    }
    ended_ = ::waitpid(pid_, &status_, WNOHANG) == pid_;
    return ended_;
}

void ChildProcess::Signal(int signalNumber) {
    if (!HasEnded()) {
        ::kill(pid_, signalNumber);
    }
}

int ChildProcess::Wait(std::uint32_t limitMilliseconds) {
    if (!WaitFor([this] { return HasEnded(); }, limitMilliseconds)) {
        return -1;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

std::string ChildProcess::Output() const {
    return platform::ReadFileContents(outputFile_).value_or("");
}

std::string ChildProcess::Errors() const {
    return platform::ReadFileContents(errorsFile_).value_or("");
}

std::map<std::string, std::string> CurrentEnvironment() {
    std::map<std::string, std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos) {
            variables.emplace(text.substr(0, equals), text.substr(equals + 1));
        }
    }
    return variables;
}

bool WaitFor(const std::function<bool()>& condition, std::uint32_t limitMilliseconds) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMilliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace porthold::testing
