/*
 * Firmware tables: the raw SMBIOS data of provider 'RSMB', table 0.
 */
#include "fake.h"

#include <string.h>

namespace
{

std::vector<uint8_t> table;
uint32_t growth;

void reset_firmware()
{
    table.clear();
    growth = 0;
}

fake_registrar registrar(reset_firmware);

} // namespace

void fake_set_firmware(const std::vector<uint8_t> &bytes)
{
    table = bytes;
}

void fake_set_firmware_growth(uint32_t extra)
{
    growth = extra;
}

uint32_t hl_port_firmware_table(uint32_t provider, uint32_t id, void *buffer, uint32_t size)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_FIRMWARE_TABLE))
        return 0;
    if (provider != 0x52534D42u || id != 0 || table.empty())
        return 0;
    uint32_t need = (uint32_t)table.size();
    if (buffer == nullptr || size < need) {
        if (buffer == nullptr && growth != 0) {
            table.resize(table.size() + growth, 0);
            growth = 0;
        }
        return need; /* the size needed, nothing copied */
    }
    memcpy(buffer, table.data(), need);
    return need;
}
