// The settings file is text the user may edit by hand. Whatever it holds, the
// parser must keep what it understood through a save: a document written out
// and read back must write out the same again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/registry_document.h"
#include "platform/registry_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    using porthold::platform::FormatRegistryText;
    using porthold::platform::ParseRegistryText;
    const std::string saved = FormatRegistryText(ParseRegistryText(AsText(data, size)));
    const std::string savedAgain = FormatRegistryText(ParseRegistryText(saved));
    Require(saved == savedAgain, "a saved settings file reads back as saved");
    return 0;
}
