#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>

#include "service/sip_line_settings.h"
#include "service/sip_stack/libre.h"
#include "service/sip_stack/libre_ptr.h"

namespace porthold::service::sip {

// A SIP line's registration with its registrar, which sends the calls for the
// line's user to the line's address. libre's sipreg does the protocol: it
// answers the registrar's digest challenges through the handler given here,
// registers again when 90% of the granted time has passed, and after a
// failure tries again 30 to 60 s later, doubling up to 15 to 30 minutes.
// This class starts it, tells the line's problems what happens, and waits
// before retrying in the cases libre would not retry, or would retry at once.
//
// Created, used and destroyed on the libre thread, like the stack it uses.
class SipRegistration {
public:
    using ReportFunction = std::function<void(std::string_view)>;

    static constexpr std::uint32_t kExpirySeconds = 3600;
    static constexpr std::chrono::seconds kFirstRetry{30};
    static constexpr std::chrono::seconds kLongestRetry{600};

    // Reads the password from `settings.passwordFile`; none (the refusal
    // reported) when the file is refused. `stack` and `report` must outlive
    // the registration.
    static std::unique_ptr<SipRegistration> Create(struct ::sip& stack,
                                                   const SipLineSettings& settings,
                                                   ReportFunction report);
    SipRegistration(struct ::sip& stack, const SipLineSettings& settings, std::string password,
                    ReportFunction report);
    ~SipRegistration();
    SipRegistration(const SipRegistration&) = delete;
    SipRegistration& operator=(const SipRegistration&) = delete;

    // Sends the first REGISTER, or schedules a retry when it cannot be sent.
    void Start();

    // Gives up the registration: when registered, libre asks the registrar
    // to drop it (expires 0) and keeps the request going on its own. The
    // result then becomes ready once libre has finished with it; without a
    // registration to drop, there is nothing to wait for and it is empty.
    std::shared_future<void> Stop();

private:
    struct Credentials;

    void Register();
    void Answered(int error, const sip_msg* message);
    void WaitBeforeRetry();

    static int OnAuthenticate(char** user, char** password, const char* realm, void* arg);
    static void OnResponse(int error, const sip_msg* message, void* arg);
    static void OnRetryTimer(void* arg);

    struct ::sip& stack_;
    const std::string registrar_;
    const std::string addressOfRecord_;
    const std::string user_;
    ReportFunction report_;
    // Given to libre with the registration, which holds it until its last
    // request is over; released_ becomes ready then.
    LibrePtr<Credentials> credentials_;
    std::shared_future<void> released_;
    LibrePtr<sipreg> registration_;
    bool registered_ = false;
    std::chrono::seconds nextRetry_ = kFirstRetry;
    tmr retryTimer_{};
};

// The DNS client a SIP stack needs to find `registrar` by name, asking the
// servers in the system's resolver configuration. None when the registrar is
// a numeric address, or when no client could be made (reported).
LibrePtr<dnsc> MakeResolver(const std::string& registrar,
                            const SipRegistration::ReportFunction& report);

}  // namespace porthold::service::sip
