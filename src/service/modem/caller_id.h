#pragma once

// The caller's number and name, as a voice modem reports them between the
// rings (after AT+VCID=1 or AT#CID=1):
//     DATE = 1207
//     TIME = 1934
//     NMBR = 5551234
//     NAME = SMITH JOHN
// Modems differ in the blanks around "=", and send P (private) or O (out of
// area, unavailable) in place of a withheld number or name. The text comes
// from the telephone network, through the caller's exchange: it is kept short
// and printable, whatever arrives.

#include <cstddef>
#include <string>
#include <string_view>

namespace porthold::service::modem {

enum class CallerIdPresence { Absent, Given, Private, Unavailable };

struct CallerIdField {
    CallerIdPresence presence = CallerIdPresence::Absent;
    std::string text;  // when Given: printable ASCII only, at most kLongestCallerIdText
};

struct CallerId {
    std::string date;  // MMDD as sent, when sent
    std::string time;  // HHMM as sent, when sent
    CallerIdField number;
    CallerIdField name;

    bool IsEmpty() const {
        return date.empty() && time.empty() && number.presence == CallerIdPresence::Absent &&
               name.presence == CallerIdPresence::Absent;
    }
};

inline constexpr std::size_t kLongestCallerIdText = 64;

// Takes the modem's lines one at a time and keeps the caller ID among them.
class CallerIdReader {
public:
    // True when `line` (without its line end) was a caller-ID line and was
    // taken; other lines (RING, OK, anything else) are left to the caller.
    // Recognises DATE, TIME, NMBR, DDN_NMBR and NAME; MESG and other tags of
    // the same form are taken and ignored.
    bool TakeLine(std::string_view line);

    const CallerId& Current() const { return current_; }
    // Forgets it, for the next call.
    void Clear() { current_ = {}; }

private:
    CallerId current_;
};

}  // namespace porthold::service::modem
