/*
 * The hottest ACPI thermal zone, from MSAcpi_ThermalZoneTemperature.
 */
#include "hostlens_internal.h"

#include "hl_access.h"

typedef struct temp_ctx_t {
    double celsius;
    int have_reading;
} temp_ctx_t;

/* "CurrentTemperature" is in tenths of a kelvin. A separate flag, not the
 * sign of the stored value, says whether a zone has answered yet, so a zone
 * below 0 degrees never lets a colder one replace it. */
static void temp_row(hl_handle_t row, void *ctx)
{
    temp_ctx_t *t = (temp_ctx_t *)ctx;
    int64_t value = -1;
    wmi_get_num(row, "CurrentTemperature", &value);
    if (value <= 0)
        return;
    double c = (double)value / 10.0 - 273.2;
    if (!t->have_reading || c > t->celsius) {
        t->celsius = c;
        t->have_reading = 1;
    }
}

void hl_impl_cpu_temp(double *out)
{
    hl_impl_init();
    temp_ctx_t t = {-1.0, 0};
    wmi_query("root\\WMI", "SELECT CurrentTemperature FROM MSAcpi_ThermalZoneTemperature", temp_row,
              &t);
    *out = t.have_reading ? t.celsius : -1.0;
}
