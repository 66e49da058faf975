#include "service/sip_stack/sip_registration.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

namespace porthold::service::sip {
namespace {

// How many name servers of the system's configuration the resolver asks.
constexpr std::uint32_t kMostNameServers = 4;

std::string_view Text(const pl& text) {
    return text.p == nullptr ? std::string_view() : std::string_view(text.p, text.l);
}

// The host of a registrar URI ("sip:host:port;params"), IPv6 addresses with
// their brackets.
std::string RegistrarHost(const std::string& registrar) {
    std::string_view rest(registrar);
    rest.remove_prefix(std::min(rest.find(':') + 1, rest.size()));
    rest = rest.substr(0, rest.find_first_of(";?"));
    if (!rest.empty() && rest.front() == '[') {
        return std::string(rest.substr(0, rest.find(']') + 1));
    }
    return std::string(rest.substr(0, rest.find(':')));
}

// "sip:user@host", the name the line registers under, in the registrar's scheme.
std::string AddressOfRecord(const SipLineSettings& settings) {
    const std::string& registrar = settings.registrar;
    return registrar.substr(0, registrar.find(':') + 1) + settings.user + "@" +
           RegistrarHost(registrar);
}

bool IsNumericHost(std::string host) {
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.size() - 2);
    }
    sa address{};
    return sa_set_str(&address, host.c_str(), 0) == 0;
}

// Overwrites a secret before its memory is given back.
void Wipe(std::string& secret) {
    ::explicit_bzero(secret.data(), secret.size());
}

}  // namespace

// The user and password, in memory libre counts references to, so that a
// registration libre finishes after the line let go still has them.
struct SipRegistration::Credentials {
    std::string user;
    std::string password;
    std::promise<void> released;

    static void Destroy(void* object) {
        auto* credentials = static_cast<Credentials*>(object);
        Wipe(credentials->password);
        credentials->released.set_value();
        credentials->~Credentials();
    }
};

std::unique_ptr<SipRegistration> SipRegistration::Create(struct ::sip& stack,
                                                         const SipLineSettings& settings,
                                                         ReportFunction report) {
    std::string problem;
    std::optional<std::string> password = ReadSipPassword(settings.passwordFile, problem);
    if (!password) {
        report("does not register with its registrar: " + problem);
        return nullptr;
    }
    auto registration =
        std::make_unique<SipRegistration>(stack, settings, std::move(*password), std::move(report));
    Wipe(*password);
    return registration;
}

SipRegistration::SipRegistration(struct ::sip& stack, const SipLineSettings& settings,
                                 std::string password, ReportFunction report)
    : stack_(stack),
      registrar_(settings.registrar),
      addressOfRecord_(AddressOfRecord(settings)),
      user_(settings.user),
      report_(std::move(report)) {
    tmr_init(&retryTimer_);
    // libre's memory is aligned for pointers, which is all Credentials needs.
    static_assert(alignof(Credentials) <= alignof(void*));
    void* memory = mem_zalloc(sizeof(Credentials), &Credentials::Destroy);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    credentials_.reset(new (memory) Credentials{settings.user, std::move(password), {}});
    released_ = credentials_->released.get_future().share();
}

SipRegistration::~SipRegistration() {
    Stop();
}

void SipRegistration::Start() {
    sa bound{};
    if (sip_transp_laddr(&stack_, &bound, SIP_TRANSP_UDP, nullptr) == 0 && sa_is_any(&bound)) {
        report_(
            "listens on every address, so its registration names no address the registrar "
            "can reach; give listen= this machine's address");
    }
    Register();
}

std::shared_future<void> SipRegistration::Stop() {
    tmr_cancel(&retryTimer_);
    // Dropped, libre's registration sends its goodbye when it was registered,
    // and lets go of the credentials once that is answered or given up. A
    // REGISTER still unanswered is not worth waiting for.
    const bool goodbye = sipreg_registered(registration_.get());
    registration_.reset();
    credentials_.reset();
    registered_ = false;
    return goodbye ? released_ : std::shared_future<void>();
}

void SipRegistration::Register() {
    if (!credentials_) {
        return;
    }
    sipreg* registration = nullptr;
    const int error =
        sipreg_register(&registration, &stack_, registrar_.c_str(), addressOfRecord_.c_str(),
                        nullptr, addressOfRecord_.c_str(), kExpirySeconds, user_.c_str(), nullptr,
                        0, 0, &SipRegistration::OnAuthenticate, credentials_.get(), true,
                        &SipRegistration::OnResponse, this, nullptr, nullptr);
    if (error != 0) {
        report_("cannot register with " + registrar_ + ": " + std::strerror(error));
        WaitBeforeRetry();
        return;
    }
    registration_.reset(registration);
}

int SipRegistration::OnAuthenticate(char** user, char** password, const char* /*realm*/,
                                    void* arg) {
    const auto& credentials = *static_cast<const Credentials*>(arg);
    if (str_dup(user, credentials.user.c_str()) != 0) {
        return ENOMEM;
    }
    return str_dup(password, credentials.password.c_str());
}

void SipRegistration::OnResponse(int error, const sip_msg* message, void* arg) {
    static_cast<SipRegistration*>(arg)->Answered(error, message);
}

void SipRegistration::Answered(int error, const sip_msg* message) {
    const bool wasRegistered = std::exchange(registered_, false);
    if (message == nullptr) {
        report_("cannot reach the registrar " + registrar_ + ": " + std::strerror(error) +
                "; tries again later");
        return;
    }
    if (error != 0 || message->scode >= 300) {
        report_("the registrar refused the registration: " + std::to_string(message->scode) + " " +
                std::string(Text(message->reason)) + "; tries again later");
        return;
    }
    if (!sipreg_registered(registration_.get())) {
        // libre would register again at once, and again; the timer drops it
        // first thing, then waits.
        report_("the registrar accepted the registration for no time");
        tmr_start(&retryTimer_, 0, &SipRegistration::OnRetryTimer, this);
        return;
    }
    registered_ = true;
    nextRetry_ = kFirstRetry;
    if (!wasRegistered) {
        report_("registered as " + addressOfRecord_ + " for " +
                std::to_string(sipreg_proxy_expires(registration_.get())) + " s");
    }
}

void SipRegistration::WaitBeforeRetry() {
    report_("tries to register again in " + std::to_string(nextRetry_.count()) + " s");
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(nextRetry_);
    tmr_start(&retryTimer_, static_cast<std::uint64_t>(delay.count()),
              &SipRegistration::OnRetryTimer, this);
    nextRetry_ = std::min(nextRetry_ * 2, kLongestRetry);
}

void SipRegistration::OnRetryTimer(void* arg) {
    auto& self = *static_cast<SipRegistration*>(arg);
    if (self.registration_) {
        self.registration_.reset();
        self.WaitBeforeRetry();
        return;
    }
    self.Register();
}

LibrePtr<dnsc> MakeResolver(const std::string& registrar,
                            const SipRegistration::ReportFunction& report) {
    if (registrar.empty() || IsNumericHost(RegistrarHost(registrar))) {
        return nullptr;
    }
    std::array<char, 256> domain{};
    std::array<sa, kMostNameServers> servers{};
    std::uint32_t count = servers.size();
    dnsc* resolver = nullptr;
    if (dns_srv_get(domain.data(), domain.size(), servers.data(), &count) != 0 || count == 0 ||
        dnsc_alloc(&resolver, nullptr, servers.data(), count) != 0) {
        report("cannot read the system's name servers, so the registrar cannot be found by name");
        return nullptr;
    }
    return LibrePtr<dnsc>(resolver);
}

}  // namespace porthold::service::sip
