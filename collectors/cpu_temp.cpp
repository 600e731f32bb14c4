/*
 * The hottest ACPI thermal zone: from MSAcpi_ThermalZoneTemperature where
 * WMI answers (it needs an administrator), else from the "Thermal Zone
 * Information" performance counters, which any user may read. An ACPI zone
 * is whatever the firmware measures there: often the board or the chassis,
 * not the CPU package, whose own sensor only a kernel driver can read.
 */
#include "hostlens_internal.h"

#include "hl_access.h"
#include "hl_port.h"

/* Firmware without a sensor behind a zone answers a constant, 0 K or 0
 * degrees among them. A reading outside [1, 150] degrees is such a
 * placeholder, never a temperature. A constant inside the range (16.85
 * degrees on some boards) cannot be told from a reading and passes. */
#define PLAUSIBLE_MIN_C 1.0
#define PLAUSIBLE_MAX_C 150.0
#define ZONES_ON_STACK 16u
#define PDH_MORE_DATA_STATUS ((long)0x800007D2u)
/* PDH_CSTATUS_VALID_DATA and PDH_CSTATUS_NEW_DATA. */
#define ZONE_VALID(status) ((status) == 0u || (status) == 1u)

typedef struct temp_ctx_t {
    double celsius;
    int have_reading;
} temp_ctx_t;

static void consider(temp_ctx_t *t, double c)
{
    /* Written so that a NaN, which fails every comparison, is no reading. */
    if (!(c >= PLAUSIBLE_MIN_C && c <= PLAUSIBLE_MAX_C))
        return;
    if (!t->have_reading || c > t->celsius) {
        t->celsius = c;
        t->have_reading = 1;
    }
}

/* "CurrentTemperature" is in tenths of a kelvin. */
static void temp_row(hl_handle_t row, void *ctx)
{
    int64_t value = -1;
    wmi_get_num(row, "CurrentTemperature", &value);
    if (value > 0)
        consider((temp_ctx_t *)ctx, (double)value / 10.0 - 273.2);
}

/* Every zone's "Temperature" (whole kelvin), through one counter with a
 * wildcard instance. The counter is a plain reading: one sample suffices. */
static void read_zones(hl_handle_t counter, temp_ctx_t *t)
{
    hl_port_pdh_item_t stack[ZONES_ON_STACK];
    hl_port_pdh_item_t *items = stack;
    uint32_t room = ZONES_ON_STACK, count = 0;
    long status = hl_port_pdh_array(counter, items, room, &count);
    if (status == PDH_MORE_DATA_STATUS && count > room) {
        /* At most 2^32 items of 16 bytes: no overflow in a 64-bit size. */
        items = (hl_port_pdh_item_t *)hl_port_alloc((size_t)count * sizeof *items);
        if (items == NULL)
            return;
        room = count;
        status = hl_port_pdh_array(counter, items, room, &count);
    }
    for (uint32_t i = 0; status == 0 && i < count && i < room; i++)
        if (ZONE_VALID(items[i].status))
            consider(t, items[i].value - 273.15);
    if (items != stack)
        hl_port_free(items);
}

static void thermal_zone_counters(temp_ctx_t *t)
{
    hl_handle_t query = NULL, counter = NULL;
    if (hl_port_pdh_open(&query) != 0)
        return;
    if (hl_port_pdh_add_english(query, u"\\Thermal Zone Information(*)\\Temperature", &counter) ==
        0) {
        if (hl_port_pdh_collect(query) == 0)
            read_zones(counter, t);
        hl_port_pdh_remove(counter);
    }
    hl_port_pdh_close(query);
}

void hl_impl_cpu_temp(double *out)
{
    hl_impl_init();
    temp_ctx_t t = {-1.0, 0};
    wmi_query("root\\WMI", "SELECT CurrentTemperature FROM MSAcpi_ThermalZoneTemperature", temp_row,
              &t);
    if (!t.have_reading)
        thermal_zone_counters(&t);
    *out = t.have_reading ? t.celsius : -1.0;
}
