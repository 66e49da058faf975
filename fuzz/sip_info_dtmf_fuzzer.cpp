// SIP INFO requests carry a key press in a body of the sender's making. The
// input is a Content-Type line followed by the body.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "fuzz_support.h"
#include "service/sip/sip_info_dtmf.h"

namespace {

bool IsKey(char key) {
    return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'D') || key == '*' || key == '#';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace porthold::fuzz;
    using namespace porthold::service::sip;
    const std::string_view input = AsText(data, size);
    const std::size_t lineEnd = input.find('\n');
    const std::string_view contentType = input.substr(0, lineEnd);
    const std::string_view body =
        lineEnd == std::string_view::npos ? std::string_view{} : input.substr(lineEnd + 1);
    for (const std::optional<char> key :
         {KeyFromSipInfo(contentType, body), KeyFromDtmfRelayBody(body), KeyFromDtmfBody(body)}) {
        Require(!key || IsKey(*key), "only the sixteen keys come out of a body");
    }
    return 0;
}
