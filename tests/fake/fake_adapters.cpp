/*
 * Display adapters: the present devices of the display adapter class that
 * SetupAPI lists and their texts, with device sets accounted.
 */
#include "fake.h"

#include <string.h>

#include <set>

namespace
{

struct {
    std::vector<fake_display_adapter_t> adapters;
    std::set<uintptr_t> sets;
    uintptr_t next;
} d;

void reset_adapters()
{
    d.adapters.clear();
    d.sets.clear();
    d.next = 0;
}

fake_registrar registrar(reset_adapters);

const std::string *text_of(const fake_display_adapter_t &a, uint32_t property)
{
    switch (property) {
    case HL_DEVICE_INSTANCE_ID:
        return &a.instance_id;
    case 0x0: /* SPDRP_DEVICEDESC */
        return &a.description;
    case 0x1: /* SPDRP_HARDWAREID */
        return &a.hardware_id;
    case 0x9: /* SPDRP_DRIVER */
        return &a.driver;
    case 0xC: /* SPDRP_FRIENDLYNAME */
        return &a.friendly_name;
    default:
        return nullptr;
    }
}

} // namespace

void fake_add_display_adapter(const fake_display_adapter_t &a)
{
    d.adapters.push_back(a);
}

int hl_port_display_adapters(hl_handle_t *set)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_DISPLAY_ADAPTERS))
        return 0;
    uintptr_t h = 0x8000 + (++d.next);
    d.sets.insert(h);
    fake_acquire(FAKE_RES_DEVICE_SET);
    *set = (hl_handle_t)h;
    return 1;
}

int hl_port_display_adapter_text(hl_handle_t set, uint32_t index, uint32_t property, char16_t *text,
                                 uint32_t units)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_DISPLAY_ADAPTER_TEXT, &code, HL_DEVICE_TEXT_END))
        return (int)code;
    if (d.sets.count((uintptr_t)set) == 0) {
        fake_note_misuse();
        return HL_DEVICE_TEXT_END;
    }
    if (index >= d.adapters.size())
        return HL_DEVICE_TEXT_END;
    if (units < 2)
        return HL_DEVICE_TEXT_NONE;
    memset(text, 0, units * sizeof(char16_t));
    const std::string *t = text_of(d.adapters[index], property);
    if (t == nullptr || t->empty())
        return HL_DEVICE_TEXT_NONE;
    std::u16string u = fake_u16(t->c_str());
    /* As SetupAPI: a text larger than the buffer is refused, not cut. */
    if (u.size() + 1 > units - 1)
        return HL_DEVICE_TEXT_NONE;
    memcpy(text, u.c_str(), (u.size() + 1) * sizeof(char16_t));
    return HL_DEVICE_TEXT_OK;
}

void hl_port_display_adapters_close(hl_handle_t set)
{
    FAKE_GUARD;
    if (d.sets.erase((uintptr_t)set) == 0)
        fake_note_misuse();
    else
        fake_release(FAKE_RES_DEVICE_SET);
}
