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

/* Win32_Battery's documented "BatteryStatus" meanings in the library's own
 * words: 1 discharging, 2 on AC power (not necessarily charging), 3 fully
 * charged (which says nothing about the power source), 4 low and 5 critical
 * (both on battery), 6 to 9 charging (high, low, critical), 10 undefined and
 * 11 partially charged (neither says which way). Anything past the end reads
 * "unknown". */
static const battery_state_t battery_states[] = {
    {"unknown", -1},    /* 0 */
    {"Discharging", 0}, /* 1 Other: discharging */
    {"AC", 1},          /* 2 Unknown: on AC power */
    {"Full", -1},       /* 3 Fully Charged */
    {"Discharging", 0}, /* 4 Low */
    {"Discharging", 0}, /* 5 Critical */
    {"Charging", 1},    /* 6 Charging */
    {"Charging", 1},    /* 7 Charging and High */
    {"Charging", 1},    /* 8 Charging and Low */
    {"Charging", 1},    /* 9 Charging and Critical */
    {"unknown", -1},    /* 10 Undefined */
    {"unknown", -1},    /* 11 Partially Charged */
};

/* Win32_Battery's "EstimatedRunTime", in minutes: the platform's estimate
 * of this battery's run time at the present load, in the same row as its
 * state (GetSystemPowerStatus's BatteryLifeTime would be one figure for all
 * batteries together). Only a discharging battery has a run time: on
 * external power, and whenever the estimate is unknown, the class reports
 * 71582788, the "unknown time" 0xFFFFFFFF seconds counted in minutes, which
 * must never become a number of seconds. */
#define RUN_TIME_UNKNOWN_MINUTES INT64_C(71582788)

static int64_t remaining_seconds(int64_t power_plugged, int64_t minutes)
{
    if (power_plugged != 0 || minutes < 0 || minutes >= RUN_TIME_UNKNOWN_MINUTES)
        return -1;
    return minutes * 60;
}

static void battery_row(hl_handle_t row, void *ctx)
{
    hl_battery_list_t *list = (hl_battery_list_t *)ctx;
    if (list->count >= HL_BATTERY_MAX)
        return;
    hl_battery_info_t *b = &list->batteries[list->count];
    wmi_get_str(row, "Name", b->model, (int)sizeof b->model);
    int64_t status = -1;
    int64_t charge = -1;
    int64_t minutes = -1;
    wmi_get_num(row, "BatteryStatus", &status);
    wmi_get_num(row, "EstimatedChargeRemaining", &charge);
    wmi_get_num(row, "EstimatedRunTime", &minutes);
    b->percent = charge >= 0 ? charge : -1;
    const size_t states = sizeof battery_states / sizeof battery_states[0];
    if ((uint64_t)status < states) {
        hl_copy(b->state, sizeof b->state, battery_states[status].state);
        b->power_plugged = battery_states[status].power_plugged;
    } else {
        hl_copy(b->state, sizeof b->state, "unknown");
        b->power_plugged = -1;
    }
    b->time_remaining_seconds = remaining_seconds(b->power_plugged, minutes);
    list->count++;
}

void hl_impl_battery(hl_battery_list_t *out)
{
    hl_impl_init();
    memset(out, 0, sizeof *out);
    wmi_query("root\\cimv2",
              "SELECT Name, BatteryStatus, EstimatedChargeRemaining, EstimatedRunTime FROM "
              "Win32_Battery",
              battery_row, out);
}
