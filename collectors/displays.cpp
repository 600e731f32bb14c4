/*
 * Every active display: the active paths of the display configuration, each
 * with its source mode (the desktop's size and place), the target's refresh
 * rate, rotation and connector, the monitor's name, and its scale.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_access.h"
#include "hl_display.h"
#include "hl_port.h"

#define MODE_TYPE_SOURCE 1u
#define MODE_TYPE_TARGET 2u
#define ERROR_NOT_ENOUGH_MEMORY_CODE 8
#define ERROR_INSUFFICIENT_BUFFER_CODE 122
/* The configuration may change between the size query and the query, which
 * then answers ERROR_INSUFFICIENT_BUFFER: ask again, a few times. */
#define CONFIG_ATTEMPTS 4

int64_t hl_display_refresh_centihz(uint32_t numerator, uint32_t denominator)
{
    if (numerator == 0 || denominator == 0)
        return -1;
    return (int64_t)(((uint64_t)numerator * 100u + denominator / 2u) / denominator);
}

const char *hl_display_connector(uint32_t technology)
{
    switch (technology) {
    case 0xFFFFFFFFu:
        return "other";
    case 0:
        return "VGA";
    case 1:
        return "S-Video";
    case 2:
        return "composite";
    case 3:
        return "component";
    case 4:
        return "DVI";
    case 5:
        return "HDMI";
    case 6:
        return "LVDS";
    case 8:
        return "D-terminal";
    case 9:
        return "SDI";
    case 10:
        return "DisplayPort";
    case 12:
        return "UDI";
    /* Embedded DisplayPort and UDI, and what the driver calls internal: the
     * machine's own panel. */
    case 11:
    case 13:
    case 0x80000000u:
        return "internal";
    case 14:
        return "SDTV dongle";
    case 15:
        return "Miracast";
    case 16:
        return "indirect wired";
    case 17:
        return "indirect virtual";
    case 18:
        return "DisplayPort over USB";
    default:
        return "unknown";
    }
}

int64_t hl_display_rotation(uint32_t rotation)
{
    return rotation >= 1 && rotation <= 4 ? (int64_t)(rotation - 1) * 90 : -1;
}

int64_t hl_display_scale_percent(uint32_t dpi)
{
    return dpi == 0 ? -1 : (int64_t)(((uint64_t)dpi * 100u + 48u) / 96u);
}

typedef struct config_t {
    hl_port_display_path_t *paths;
    hl_port_display_mode_t *modes;
    uint32_t path_count, mode_count;
} config_t;

static void *alloc_items(uint32_t count, size_t size)
{
    /* One item even for none, so that NULL means only "no memory". */
    size_t n = count == 0 ? 1 : (size_t)count;
    if (n > SIZE_MAX / size)
        return NULL;
    return hl_port_alloc(n * size);
}

static void free_config(config_t *c)
{
    hl_port_free(c->paths);
    hl_port_free(c->modes);
    memset(c, 0, sizeof *c);
}

/* The active paths and their modes; 0 without them (no display, or a
 * failure), -1 when memory ran out. */
static int read_config(config_t *c)
{
    memset(c, 0, sizeof *c);
    for (int attempt = 0; attempt < CONFIG_ATTEMPTS; attempt++) {
        uint32_t paths = 0, modes = 0;
        if (hl_port_display_config_sizes(&paths, &modes) != 0 || paths == 0)
            return 0;
        c->paths = (hl_port_display_path_t *)alloc_items(paths, sizeof *c->paths);
        c->modes = (hl_port_display_mode_t *)alloc_items(modes, sizeof *c->modes);
        if (c->paths == NULL || c->modes == NULL) {
            free_config(c);
            return -1;
        }
        c->path_count = paths;
        c->mode_count = modes;
        long status = hl_port_display_config(&c->path_count, c->paths, &c->mode_count, c->modes);
        /* The counts are the platform's: never trust them past the room. */
        if (status == 0 && c->path_count <= paths && c->mode_count <= modes)
            return 1;
        free_config(c);
        /* Memory the platform could not have fails the document: the
         * machine's displays are not "none". */
        if (status == ERROR_NOT_ENOUGH_MEMORY_CODE)
            return -1;
        if (status != ERROR_INSUFFICIENT_BUFFER_CODE)
            return 0;
    }
    return 0;
}

/* The mode a path points at, when that index is inside the array and the
 * mode is of the type expected there. */
static const hl_port_display_mode_t *mode_at(const config_t *c, uint32_t index, uint32_t type)
{
    if (index >= c->mode_count || c->modes[index].type != type)
        return NULL;
    return &c->modes[index];
}

static void read_name(const hl_port_display_path_t *p, hl_display_info_t *d)
{
    char16_t name[65];
    memset(name, 0, sizeof name);
    if (hl_port_display_target_name(p->target_adapter, p->target_id, name) != 0)
        name[0] = 0;
    name[64] = 0; /* the field holds 64 units, not necessarily terminated */
    /* Internal panels often have no name: w2s makes an empty one "unknown". */
    w2s(name, d->name, (int)sizeof d->name);
}

static void describe(const config_t *c, const hl_port_display_path_t *p, int aware,
                     hl_display_info_t *d)
{
    memset(d, 0, sizeof *d);
    d->width = d->height = d->primary = d->scale_percent = -1;
    read_name(p, d);
    /* Each path's own target rate; a target mode's signal frequency when the
     * path gives none. */
    d->refresh_centihz = hl_display_refresh_centihz(p->refresh_numerator, p->refresh_denominator);
    const hl_port_display_mode_t *target = mode_at(c, p->target_mode, MODE_TYPE_TARGET);
    if (d->refresh_centihz < 0 && target != NULL)
        d->refresh_centihz =
            hl_display_refresh_centihz(target->vsync_numerator, target->vsync_denominator);
    d->rotation = hl_display_rotation(p->rotation);
    hl_copy(d->connector, sizeof d->connector, hl_display_connector(p->output_technology));

    const hl_port_display_mode_t *source = mode_at(c, p->source_mode, MODE_TYPE_SOURCE);
    if (source == NULL)
        return;
    d->width = source->width;
    d->height = source->height;
    /* The primary display is the one whose desktop starts at the origin. */
    d->primary = source->x == 0 && source->y == 0;
    /* The scale is only true in a per-monitor-aware context: in any other,
     * Windows answers the system DPI or 96 for every monitor. */
    if (!aware)
        return;
    hl_handle_t monitor = hl_port_monitor_at(source->x, source->y);
    uint32_t dpi_x = 0, dpi_y = 0;
    if (monitor != NULL && hl_port_monitor_dpi(monitor, &dpi_x, &dpi_y) == 0)
        d->scale_percent = hl_display_scale_percent(dpi_x);
}

void hl_impl_displays(hl_display_list_t *out)
{
    memset(out, 0, sizeof *out);
    /* The host may not be DPI-aware, and the library cannot make it so: the
     * calling thread is made per-monitor aware for the collection only, and
     * given its own context back on every way out. */
    intptr_t previous = 0;
    int aware = hl_port_dpi_context_set(HL_DPI_PER_MONITOR_AWARE_V2, &previous);
    /* Windows 10 1607 (and Wine 8) know only the first per-monitor
     * context, which reads a monitor's DPI just as well. */
    if (!aware)
        aware = hl_port_dpi_context_set(HL_DPI_PER_MONITOR_AWARE, &previous);

    config_t c;
    int got = read_config(&c);
    if (got < 0)
        out->failed = 1;
    for (uint32_t i = 0; got > 0 && i < c.path_count; i++) {
        if (!hl_list_reserve((void **)&out->items, &out->capacity, out->count + 1,
                             sizeof *out->items)) {
            out->failed = 1;
            break;
        }
        describe(&c, &c.paths[i], aware, &out->items[out->count++]);
    }
    if (got > 0)
        free_config(&c);

    if (aware) {
        intptr_t ignored = 0;
        hl_port_dpi_context_set(previous, &ignored);
    }
}
