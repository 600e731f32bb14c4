/*
 * A sampler's read on any list: a strict JSON document that begins with
 * interval_s, holds the rate sections first and the other modules in the
 * table's order, then at most the refused and the unknown names, each
 * listed once.
 */
#include "fuzz_util.h"

#include <string.h>

#include <set>
#include <string>

static void names_once(const nlohmann::ordered_json &names)
{
    std::set<std::string> seen;
    for (const auto &name : names) {
        std::string s = name.get<std::string>();
        if (s.empty() || !seen.insert(s).second)
            abort();
    }
    if (seen.empty())
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fake_reset();
    std::string list((const char *)data, size); /* cut at the first NUL, as a C text */
    hostlens_sampler *s = hostlens_sampler_open();
    const char *text = s != nullptr ? hostlens_sampler_read(s, list.c_str()) : nullptr;
    if (text == nullptr || !nlohmann::json::accept(text))
        abort();
    nlohmann::ordered_json d = nlohmann::ordered_json::parse(text);
    hostlens_sampler_close(s);
    static const char *const rates[] = {"cpu", "net_io", "disk_io", "processes"};
    auto it = d.begin();
    if (it == d.end() || it.key() != "interval_s")
        abort();
    ++it;
    for (const char *r : rates)
        if (it != d.end() && it.key() == r)
            ++it;
    int next = 0;
    for (; it != d.end(); ++it) {
        if (it.key() == "refused_modules" || it.key() == "unknown_modules")
            break;
        for (const char *r : rates)
            if (it.key() == r)
                abort();
        while (next < hl_module_count && it.key() != hl_modules[next].key)
            next++;
        if (next++ == hl_module_count)
            abort();
    }
    if (it != d.end() && it.key() == "refused_modules") {
        names_once(*it);
        for (const auto &name : *it)
            if (name != "public_ip")
                abort();
        ++it;
    }
    if (it != d.end() && it.key() == "unknown_modules") {
        names_once(*it);
        ++it;
    }
    if (it != d.end())
        abort();
    return 0;
}
