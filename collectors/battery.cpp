/*
 * Batteries as Win32_Battery lists them.
 */
#include "hostlens_internal.h"

#include "hl_access.h"

#include <string.h>

typedef struct battery_state_t {
    const char *state;
    int64_t power_plugged;
} battery_state_t;

/* By the raw "BatteryStatus" number; anything past the end reads "unknown". */
static const battery_state_t battery_states[] = {
    {"unknown", -1},    /* 0 */
    {"AC", 1},          /* 1 */
    {"Discharging", 0}, /* 2 */
    {"Suspended", -1},  /* 3 */
    {"Unknown", -1},    /* 4 */
    {"Charging", 1},    /* 5 */
    {"Full", 1},        /* 6 */
};

static void battery_row(hl_handle_t row, void *ctx)
{
    hl_battery_list_t *list = (hl_battery_list_t *)ctx;
    if (list->count >= HL_BATTERY_MAX)
        return;
    hl_battery_info_t *b = &list->batteries[list->count];
    wmi_get_str(row, "Name", b->model, (int)sizeof b->model);
    int64_t status = -1;
    int64_t charge = -1;
    wmi_get_num(row, "BatteryStatus", &status);
    wmi_get_num(row, "EstimatedChargeRemaining", &charge);
    b->percent = charge >= 0 ? charge : -1;
    const size_t states = sizeof battery_states / sizeof battery_states[0];
    if ((uint64_t)status < states) {
        hl_copy(b->state, sizeof b->state, battery_states[status].state);
        b->power_plugged = battery_states[status].power_plugged;
    } else {
        hl_copy(b->state, sizeof b->state, "unknown");
        b->power_plugged = -1;
    }
    b->time_remaining_seconds = -1;
    list->count++;
}

void hl_impl_battery(hl_battery_list_t *out)
{
    hl_impl_init();
    memset(out, 0, sizeof *out);
    wmi_query("root\\cimv2",
              "SELECT Name, BatteryStatus, EstimatedChargeRemaining FROM Win32_Battery",
              battery_row, out);
}
