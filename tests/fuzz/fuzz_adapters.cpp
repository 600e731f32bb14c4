/*
 * The display adapter readers on raw text: the vendor of a hardware ID and
 * the instance a driver key names, each over an exactly sized copy (so any
 * read past the end is caught), then the whole display_adapters document
 * with the same texts answered by a device.
 *
 * Input: a length byte and that many bytes of ID, then the driver key.
 */
#include "fuzz_util.h"

#include <string>

#include "hl_adapter.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_collect("display_adapters"); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    std::vector<uint8_t> id = in.bytes(in.u8());
    std::vector<uint8_t> driver(in.p, in.p + in.n);

    std::string name(id.begin(), id.end());
    const char *vendor = hl_adapter_vendor((const char *)id.data(), id.size(), name.c_str());
    if (vendor == nullptr || vendor[0] == '\0')
        abort();
    char sub[32];
    memset(sub, 'x', sizeof sub);
    if (hl_adapter_driver_subkey((const char *)driver.data(), driver.size(), sub, sizeof sub)) {
        size_t n = strnlen(sub, sizeof sub);
        if (n == 0 || n >= sizeof sub || memchr(sub, '\\', n) != nullptr)
            abort();
    }

    fake_reset();
    std::string d(driver.begin(), driver.end());
    fake_add_display_adapter({name, name, "", d, name});
    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json list =
        must_be_module(hostlens_collect("display_adapters"), "display_adapters", true);
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released() || list.size() != 1)
        abort();
    must_have_keys(list[0], {"name", "vendor", "vram_mb", "driver_version", "device"});
    return 0;
}
