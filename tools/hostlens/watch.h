/*
 * hostlens --watch: a sampler read once per interval, shown as a live view
 * on a console or written as one JSON document per line elsewhere.
 */
#ifndef HOSTLENS_TOOL_WATCH_H
#define HOSTLENS_TOOL_WATCH_H

#include <string>

#include "console.h"

struct watch_options {
    double seconds = 1.0; /* the interval */
    long long count = 0;  /* intervals before the end; 0: until stopped */
    std::string modules;  /* the sampler's list */
    bool json = false;    /* one document per line even on a console */
    bool color = false;   /* headings in colour on a console */
};

/*
 * Runs until `count` intervals have passed, Ctrl+C (or Ctrl+Break, or the
 * console closing), or a reader that went away; returns the exit status: 0
 * then, 1 when the library ran out of memory, has no sampler, or the output
 * could not be written, with a line through `say` saying which.
 */
int watch(const watch_options &o, out_stream *out, void (*say)(const std::string &text));

#endif
