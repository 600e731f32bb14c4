/*
 * The live view of hostlens --watch: text laid out from one sampler document
 * for an area of the console. Portable: it reads a parsed document and
 * returns rows; drawing them is the console's part.
 */
#ifndef HOSTLENS_TOOL_WATCH_VIEW_H
#define HOSTLENS_TOOL_WATCH_VIEW_H

#include <stddef.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct view_row {
    std::string text; /* UTF-8, at most the view's width in columns */
    bool heading;     /* a section's first row, which the console may colour */
};

/*
 * The rows for `doc` ({"interval_s":..., "<module>":..., ...} as
 * hostlens_sampler_read writes it) in `width` columns and at most `height`
 * rows: the interval; CPU usage in total and per processor; memory; each
 * interface that is up (filter interfaces left out) with its receive and
 * send rates; each disk's read and write rates and busy percent; the
 * busiest processes; any other section as its compact JSON; and the modules
 * the sampler refused. A rate the document has as "unknown" shows as "-".
 * When the rows do not fit, processes go first, then the per-processor
 * rows, then whatever is left below the area.
 */
std::vector<view_row> watch_view(const nlohmann::ordered_json &doc, size_t width, size_t height);

/* A byte count or rate in words: "512 B", "1.5 KiB", "12.0 MiB", "3.2 GiB". */
std::string human_bytes(double bytes);

#endif
