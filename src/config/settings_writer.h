#pragma once

#include "config/error_log.h"
#include "config/settings.h"
#include "platform/registry.h"

namespace porthold::config {

// Writes the eleven settings the user edits (all but `Path`, which only start-up
// sets) to the existing settings key: the four numbers as 4-byte REG_DWORD,
// then the six sounds and the remote PIN as REG_SZ without a terminating zero,
// in the order the key has always been written. A failure is logged; every
// value is still attempted after one has failed. True when the key was opened,
// every value written and the key closed; a key that cannot be opened is not
// created, and nothing is written then.
bool SaveSettings(const Settings& values, platform::Registry& registry, ErrorLog& errorLog);

}  // namespace porthold::config
