/*
 * The program's one collection: the sections it shows, in one pass of the
 * library, and the public IP only when asked.
 */
#ifndef HOSTLENS_TOOL_COLLECT_H
#define HOSTLENS_TOOL_COLLECT_H

#include <string>

#include <nlohmann/json.hpp>

struct collection {
    std::string text;            /* the document, compact */
    nlohmann::ordered_json doc;  /* the same, parsed */
    std::string public_ip_error; /* why the public IP could not be had, or "" */
};

/*
 * Collects the comma-separated `sections` (section keys) in one
 * hostlens_collect call, so the CPU sample spans the other collectors; with
 * `public_ip`, also the public IP, as the "public_ip" section in its
 * snapshot place. The sections of `beside`, when given, are collected in a
 * second call on a thread of their own, at the same time, and added in
 * their snapshot places. False when the library ran out of memory.
 */
bool collect(const std::string &sections, bool public_ip, collection *out,
             const std::string &beside = "");

#endif
