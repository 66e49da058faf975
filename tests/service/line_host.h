#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/multimedia/wave_devices.h"
#include "platform/system_clock.h"
#include "support/recording_error_log.h"
#include "support/recording_status_line.h"
#include "support/scripted_message_boxes.h"
#include "telephony/line_initializer.h"
#include "telephony/tapi_binding.h"

namespace porthold::service::testing {

using namespace telephony;

// The program's side of a line in miniature, over the service library as the
// program loads it: initialises as the program does, hands the line's voice
// channel to its own wave devices, and runs a 10 ms loop that answers,
// monitors keys, plays and hangs up as the test asks.
class LineHost {
public:
    struct Script {
        // The ring count at which to answer; none: never.
        std::optional<DWORD> answerAtRing = 1;
        // Played to the caller once connected; the host then hangs up.
        std::vector<std::int16_t> playOnConnect;
    };

    LineHost(const std::string& libraryPath, Script script);
    ~LineHost();

    bool Start();

    // Runs the loop until `done` holds or `limitMilliseconds` have passed;
    // false on the time limit.
    bool RunUntil(const std::function<bool()>& done, std::uint32_t limitMilliseconds);

    DWORD ActiveCalls();

    // What the host saw.
    std::vector<DWORD> ringCounts;
    std::string keys;
    std::vector<DWORD> digitModes;
    std::vector<DWORD> callStates;
    int offers = 0;
    DWORD waveOutDevice = 0;
    DWORD waveInDevice = 0;

private:
    void Tick();
    void Handle(const LINEMESSAGE& message);
    DWORD DeviceOf(const char* deviceClass);
    void StartPlaying();
    void FinishPlaying();

    Script script_;
    platform::SystemClock clock_;
    DynamicLibraryLoader loader_;
    TapiBinding binding_;
    TelephonyHandles handles_;
    porthold::testing::RecordingStatusLine statusLine_;
    porthold::testing::ScriptedMessageBoxes messageBoxes_;
    porthold::testing::RecordingErrorLog errorLog_;
    platform::WaveDevices devices_;
    HCALL call_ = 0;
    bool playing_ = false;
    platform::HWAVEOUT output_{};
    std::vector<char> sound_;
    platform::WAVEHDR header_;
};

// porthold-phone run as a child process, its output collected in files.
class PhoneProcess {
public:
    PhoneProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& outputFolder);
    ~PhoneProcess();

    bool HasEnded();
    // The exit status once ended; -1 when it did not end in time (it is then
    // killed).
    int Wait(std::uint32_t limitMilliseconds);

    std::string Output() const;
    std::string Problems() const;
    // The timeline's events without their times, after checking the times.
    std::vector<std::string> Events() const;
    // The time of the first event that begins with `event`.
    std::uint32_t TimeOf(const std::string& event) const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string outputFile_;
    std::string problemsFile_;
};

}  // namespace porthold::service::testing
