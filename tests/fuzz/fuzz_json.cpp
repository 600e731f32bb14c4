/*
 * The JSON writer on arbitrary bytes: as text, as a key, and as numbers.
 */
#include "fuzz_util.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text((const char *)data, size); /* cut at the first NUL, as a C text */
    double x = 0;
    int64_t n = 0;
    if (size >= 8) {
        memcpy(&x, data, 8);
        memcpy(&n, data, 8);
    }
    hl_json_t j;
    hl_json_init(&j);
    hl_json_raw(&j, "{");
    hl_json_kvs(&j, text.c_str(), text.c_str());
    hl_json_comma(&j);
    hl_json_key(&j, "d");
    hl_json_dbl(&j, x);
    hl_json_comma(&j);
    hl_json_kvns(&j, "n", n);
    hl_json_comma(&j);
    hl_json_kvd_unknown(&j, "u", x);
    hl_json_raw(&j, "}");
    must_be_json(hl_json_get(&j));
    hl_port_free(j.data);
    return 0;
}
