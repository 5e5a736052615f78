// Input: a step service reply (UTF-8). The message is well-formed GBK, and
// encoding it as a form value leaves only unreserved bytes and "%XX".
#include "FuzzChecks.h"
#include "steps/StepSubmission.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace fw::fuzz;
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const fw::Text message = fw::stepReplyMessage(reply);
    check(isWellFormedGbk(message), "message is not GBK");
    const fw::Text form = fw::formEncode(message);
    for (size_t i = 0; i < form.size(); ++i) {
        const char c = form[i];
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved)
            continue;
        auto hex = [](char h) { return (h >= '0' && h <= '9') || (h >= 'A' && h <= 'F'); };
        check(c == '%' && i + 2 < form.size() && hex(form[i + 1]) && hex(form[i + 2]),
              "form value holds a reserved byte");
        i += 2;
    }
    return 0;
}
