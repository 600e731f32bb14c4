/*
 * reg_getstr on arbitrary value data, type and size: the result is a whole
 * UTF-8 text inside the buffer or nothing, and nothing is read past the
 * stored data.
 */
#include "fuzz_util.h"

#include "hl_access.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    uint32_t type = in.u8() % 12;
    size_t out_size = 1 + in.u8();
    fake_reset();
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, "K", "V", type, in.p, (uint32_t)in.n);
    char out[257];
    memset(out, 'Z', sizeof out);
    out[256] = '\0';
    int ok = reg_getstr(HL_HKEY_LOCAL_MACHINE, u"K", u"V", out, out_size);
    if (ok) {
        if (strlen(out) >= out_size)
            abort();
        hl_json_t j;
        hl_json_init(&j);
        hl_json_raw(&j, "[");
        hl_json_str(&j, out);
        hl_json_raw(&j, "]");
        must_be_json(hl_json_get(&j));
        hl_port_free(j.data);
    }
    if (out[out_size] != 'Z' && out_size < 256)
        abort(); /* wrote past the buffer */
    if (!fake_all_released())
        abort();
    return 0;
}
