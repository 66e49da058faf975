#include "platform/timer_table.h"

#include <algorithm>

namespace porthold::platform {

void TimerTable::Set(TimerHandler& handler, TimerId id, std::uint32_t periodMilliseconds,
                     std::uint64_t now) {
    // A period of zero would make the timer due again at once and starve the loop.
    const std::uint32_t period = std::max<std::uint32_t>(periodMilliseconds, 1);
    auto entry = Find(handler, id);
    if (entry == entries_.end()) {
        entries_.push_back(Entry{&handler, id, period, now + period, nextSequence_++});
        return;
    }
    entry->period = period;
    entry->due = now + period;
    entry->sequence = nextSequence_++;
}

void TimerTable::Kill(TimerHandler& handler, TimerId id) {
    auto entry = Find(handler, id);
    if (entry != entries_.end()) {
        entries_.erase(entry);
    }
}

void TimerTable::KillAll(TimerHandler& handler) {
    std::erase_if(entries_, [&](const Entry& entry) { return entry.handler == &handler; });
}

std::optional<std::uint64_t> TimerTable::NextDue() const {
    if (entries_.empty()) {
        return std::nullopt;
    }
    return std::min_element(entries_.begin(), entries_.end(),
                            [](const Entry& a, const Entry& b) { return a.due < b.due; })
        ->due;
}

void TimerTable::DeliverDue(std::uint64_t now) {
    // Each pass re-arms the delivered timer past `now`, so the loop ends; the
    // table is searched afresh every pass because handlers change it.
    for (;;) {
        auto due = entries_.end();
        for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
            if (entry->due <= now &&
                (due == entries_.end() || entry->due < due->due ||
                 (entry->due == due->due && entry->sequence < due->sequence))) {
                due = entry;
            }
        }
        if (due == entries_.end()) {
            return;
        }
        due->due = now + due->period;
        due->sequence = nextSequence_++;
        TimerHandler& handler = *due->handler;
        const TimerId id = due->id;
        handler.OnTimer(id);
    }
}

bool TimerTable::IsRunning(const TimerHandler& handler, TimerId id) const {
    return Find(handler, id) != entries_.end();
}

std::vector<TimerTable::Entry>::iterator TimerTable::Find(const TimerHandler& handler, TimerId id) {
    return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        return entry.handler == &handler && entry.id == id;
    });
}

std::vector<TimerTable::Entry>::const_iterator TimerTable::Find(const TimerHandler& handler,
                                                                TimerId id) const {
    return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        return entry.handler == &handler && entry.id == id;
    });
}

}  // namespace porthold::platform
