// Input: the bytes of a configuration file. Reading never crashes and gives at
// most the value limit; a write changes only its own key: every other value
// reads back the same afterwards.
#include "store/ConfigFile.h"
#include "text/CodePage.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = [] {
        char dir[] = "/tmp/fw-fuzz-config-XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        return std::string(dir) + "/config.ini";
    }();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }

    fw::ConfigFile config(path);
    static const fw::Text section = fw::gbk("自选数据"), key = fw::gbk("自选");
    static const fw::Text otherSection = fw::gbk("加载数据"), otherKey = fw::gbk("是否全部加载");
    const fw::Text before = config.read(otherSection, otherKey);
    if (config.read(section, key).size() > fw::ConfigFile::kMaxValueBytes)
        std::abort();
    if (config.write(section, key, "000001/a/b|")) {
        if (config.read(section, key) != "000001/a/b|")
            std::abort();
        if (config.read(otherSection, otherKey) != before)
            std::abort();
    }
    return 0;
}
