// Input: a path, a line feed, then the text to parse (GBK or any bytes).
// Checks that nothing crashes and that what was read writes back to JSON that reads the same.
#include "text/JsonDocument.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t lf = input.find('\n');
    const std::string_view path = lf == std::string_view::npos ? std::string_view("datas[0]") : input.substr(0, lf);
    const std::string_view text = lf == std::string_view::npos ? input : input.substr(lf + 1);

    fw::JsonDocument doc;
    const bool ok = doc.parse(text);
    const fw::Text json = doc.toJson();
    // A root that JSON cannot hold (a number beyond double range) writes as null.
    // (Stray bytes that are no GBK character write as "?", so two names may
    // merge once; after one round the text must be stable.)
    if (ok && json != "null") {
        fw::JsonDocument again;
        if (!again.parse(json)) std::abort(); // the writer and reader disagree
        const fw::Text once = again.toJson();
        if (!again.parse(once) || again.toJson() != once) std::abort();
    }

    const int n = doc.memberCount("datas");
    for (int i = 0; i < n && i < 64; ++i) doc.getText("datas[" + std::to_string(i) + "]");
    doc.getText(path);
    doc.getText(path, true);
    doc.getNumber(path);
    doc.memberCount(path);
    doc.typeOf(path);
    doc.hasMember(path);
    fw::TextList names;
    doc.memberNames(path, names);
    doc.getDocument(path).toJson();
    doc.getElementText(path, 1);

    doc.setMember(path, text.substr(0, 64), true);
    doc.pushElement(path, "x");
    doc.setElement(3, "y");
    doc.removeElement(-1);
    const fw::Text after = doc.toJson();
    if (doc.parse(after) != (after != "null")) std::abort();
    return 0;
}
