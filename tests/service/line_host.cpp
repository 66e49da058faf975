#include "line_host.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "platform/files.h"

extern char** environ;

namespace porthold::service::testing {

namespace {

constexpr platform::WAVEFORMATEX kLineFormat{platform::WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 18};

}  // namespace

LineHost::LineHost(const std::string& libraryPath, Script script)
    : script_(std::move(script)), binding_({libraryPath}, loader_) {}

LineHost::~LineHost() {
    if (playing_) {
        devices_.OutReset(output_);
        FinishPlaying();
    }
    if (handles_.phoneHandle != 0) {
        binding_.phoneClose(handles_.phoneHandle);
        binding_.phoneShutdown(handles_.phoneApp);
    }
    if (handles_.lineApp != 0) {
        binding_.lineShutdown(handles_.lineApp);
    }
}

bool LineHost::Start() {
    LineInitializer initializer(binding_, handles_, statusLine_, messageBoxes_, errorLog_, 0);
    const bool lineOpen = initializer.LineInit();
    const bool phoneOpen = initializer.InitPhone();
    for (platform::WaveDeviceProvider* provider : binding_.WaveDeviceProviders()) {
        devices_.RegisterProvider(*provider);
    }
    return lineOpen && phoneOpen && errorLog_.lines.empty();
}

bool LineHost::RunUntil(const std::function<bool()>& done, std::uint32_t limitMilliseconds) {
    const std::uint32_t start = clock_.TickCount();
    while (!done()) {
        if (clock_.TickCount() - start >= limitMilliseconds) {
            return false;
        }
        Tick();
        clock_.Sleep(10);
    }
    return true;
}

DWORD LineHost::ActiveCalls() {
    if (binding_.lineGetLineDevStatus(handles_.lineHandle,
                                      handles_.lineStatus.As<LINEDEVSTATUS>()) != 0) {
        return 0xFFFFFFFF;
    }
    return handles_.lineStatus.Field(offsetof(LINEDEVSTATUS, dwNumActiveCalls));
}

void LineHost::Tick() {
    LINEMESSAGE message{};
    while (binding_.lineGetMessage(handles_.lineApp, &message, 0) == 0) {
        Handle(message);
    }
    if (playing_ && (header_.dwFlags & platform::WHDR_DONE) != 0) {
        FinishPlaying();
        binding_.lineDrop(call_, nullptr, 0);
    }
}

void LineHost::Handle(const LINEMESSAGE& message) {
    switch (message.dwMessageID) {
        case LINE_APPNEWCALL:
            ++offers;
            call_ = message.dwParam2;
            waveInDevice = DeviceOf("wave/in");
            waveOutDevice = DeviceOf("wave/out");
            break;
        case LINE_LINEDEVSTATE:
            if (message.dwParam1 == LINEDEVSTATE_RINGING) {
                ringCounts.push_back(message.dwParam3);
                if (script_.answerAtRing && message.dwParam3 >= *script_.answerAtRing &&
                    call_ != 0 && binding_.lineAnswer(call_, nullptr, 0) > 0) {
                    binding_.lineMonitorDigits(call_, LINEDIGITMODE_DTMF);
                }
            }
            break;
        case LINE_CALLSTATE:
            callStates.push_back(message.dwParam1);
            if (message.dwParam1 == LINECALLSTATE_CONNECTED) {
                if (!script_.playOnConnect.empty()) {
                    StartPlaying();
                }
            } else if (message.dwParam1 == LINECALLSTATE_DISCONNECTED && call_ != 0) {
                binding_.lineDrop(call_, nullptr, 0);
            } else if (message.dwParam1 == LINECALLSTATE_IDLE && call_ != 0) {
                binding_.lineDeallocateCall(call_);
                call_ = 0;
            }
            break;
        case LINE_MONITORDIGITS:
            keys.push_back(static_cast<char>(message.dwParam1 & 0xFF));
            digitModes.push_back(message.dwParam2);
            break;
        default:
            break;
    }
}

DWORD LineHost::DeviceOf(const char* deviceClass) {
    TapiBuffer buffer(32);
    binding_.lineGetIDA(handles_.lineHandle, 0, call_, LINECALLSELECT_CALL, buffer.As<VARSTRING>(),
                        deviceClass);
    return buffer.Field(24);
}

void LineHost::StartPlaying() {
    if (devices_.OutOpen(&output_, waveOutDevice, &kLineFormat, 0, 0, 0) !=
        platform::MMSYSERR_NOERROR) {
        return;
    }
    sound_.resize(script_.playOnConnect.size() * 2);
    std::memcpy(sound_.data(), script_.playOnConnect.data(), sound_.size());
    header_.lpData = sound_.data();
    header_.dwBufferLength = static_cast<std::uint32_t>(sound_.size());
    header_.dwFlags = 0;
    devices_.OutPrepareHeader(output_, &header_);
    devices_.OutWrite(output_, &header_);
    playing_ = true;
}

void LineHost::FinishPlaying() {
    devices_.OutUnprepareHeader(output_, &header_);
    devices_.OutClose(output_);
    playing_ = false;
}

// ---------------------------------------------------------------------------

PhoneProcess::PhoneProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outputFolder)
    : outputFile_(outputFolder + "phone.out"), problemsFile_(outputFolder + "phone.err") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, problemsFile_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

PhoneProcess::~PhoneProcess() {
    if (Wait(0) == -1 && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool PhoneProcess::HasEnded() {
    if (pid_ <= 0 || status_ != -1) {
        return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        return true;
    }
    return false;
}

int PhoneProcess::Wait(std::uint32_t limitMilliseconds) {
    platform::SystemClock clock;
    const std::uint32_t start = clock.TickCount();
    while (!HasEnded()) {
        if (clock.TickCount() - start >= limitMilliseconds) {
            return -1;
        }
        clock.Sleep(5);
    }
    return status_;
}

std::string PhoneProcess::Output() const {
    return platform::ReadFileContents(outputFile_).value_or("");
}

std::string PhoneProcess::Problems() const {
    return platform::ReadFileContents(problemsFile_).value_or("");
}

std::vector<std::string> PhoneProcess::Events() const {
    std::vector<std::string> events;
    std::istringstream lines(Output());
    std::uint32_t previous = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::uint32_t time = 0;
        std::string event;
        words >> time;
        std::getline(words >> std::ws, event);
        EXPECT_GE(time, previous) << "times never go back: " << line;
        previous = time;
        events.push_back(event);
    }
    return events;
}

std::uint32_t PhoneProcess::TimeOf(const std::string& event) const {
    std::istringstream lines(Output());
    for (std::string line; std::getline(lines, line);) {
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos && line.compare(blank + 1, event.size(), event) == 0) {
            return static_cast<std::uint32_t>(std::stoul(line.substr(0, blank)));
        }
    }
    ADD_FAILURE() << "no event " << event << " in\n" << Output();
    return 0;
}

}  // namespace porthold::service::testing
