/*
 * w2s on arbitrary UTF-16: the buffer holds the whole text or "unknown",
 * always terminated inside the buffer, and always valid UTF-8.
 */
#include "fuzz_util.h"

#include <vector>

#include "hl_access.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    int out_size = 8 + in.u8();
    std::vector<char16_t> src(in.n / 2 + 1, 0);
    memcpy(src.data(), in.p, (in.n / 2) * 2);
    std::vector<char> out((size_t)out_size, 'Z');
    w2s(src.data(), out.data(), out_size);
    size_t len = strnlen(out.data(), (size_t)out_size);
    if (len == (size_t)out_size)
        abort(); /* not terminated inside the buffer */
    if (len > (size_t)out_size - 2 && strcmp(out.data(), "unknown") != 0)
        abort(); /* the last byte is never used by a converted text */
    hl_json_t j;
    hl_json_init(&j);
    hl_json_raw(&j, "[");
    hl_json_str(&j, out.data());
    hl_json_raw(&j, "]");
    must_be_json(hl_json_get(&j));
    hl_port_free(j.data);
    return 0;
}
