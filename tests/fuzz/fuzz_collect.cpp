/*
 * hostlens_collect on any list: a strict JSON document whose sections follow
 * the table's order, then at most the unknown names, each listed once.
 */
#include "fuzz_util.h"

#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fake_reset();
    std::string list((const char *)data, size); /* cut at the first NUL, as a C text */
    const char *text = hostlens_collect(list.c_str());
    if (text == nullptr || !nlohmann::json::accept(text))
        abort();
    nlohmann::ordered_json d = nlohmann::ordered_json::parse(text);
    int next = 0;
    for (auto it = d.begin(); it != d.end(); ++it) {
        if (it.key() == "unknown_modules") {
            /* Names are told apart as they are written. */
            std::set<std::string> seen;
            for (const auto &name : *it) {
                std::string s = name.get<std::string>();
                if (s.empty() || !seen.insert(s).second)
                    abort();
            }
            if (seen.empty() || std::next(it) != d.end())
                abort();
            continue;
        }
        while (next < hl_module_count && it.key() != hl_modules[next].key)
            next++;
        if (next++ == hl_module_count)
            abort();
    }
    return 0;
}
