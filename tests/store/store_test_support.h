#pragma once

#include <string>

#include "support/file_size_limit.h"

namespace porthold::testing {

// The bytes of a hand-made or expected list file from the golden folder.
std::string Golden(const std::string& name);

}  // namespace porthold::testing
