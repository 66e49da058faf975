#pragma once

// Key presses sent in SIP INFO requests, which some providers use instead of
// RTP telephone-events. Two body formats are in use: application/dtmf-relay
// ("Signal=5" and "Duration=160" lines) and application/dtmf (the key alone,
// or its event code 0-15).

#include <cstddef>
#include <optional>
#include <string_view>

namespace porthold::service::sip {

// Bodies longer than this are refused unread; real ones are a few dozen bytes.
inline constexpr std::size_t kMaxDtmfBodyBytes = 512;

std::optional<char> KeyFromDtmfRelayBody(std::string_view body);
std::optional<char> KeyFromDtmfBody(std::string_view body);

// Picks the format by the Content-Type (case and parameters ignored); any
// other content type gives no key.
std::optional<char> KeyFromSipInfo(std::string_view contentType, std::string_view body);

}  // namespace porthold::service::sip
