/*
 * The default view: one labelled line per known value, beside a logo on a
 * console. Portable: it reads a parsed document and returns text.
 */
#ifndef HOSTLENS_TOOL_SUMMARY_H
#define HOSTLENS_TOOL_SUMMARY_H

#include <string>

#include <nlohmann/json.hpp>

/* The section keys the summary shows, for the one collection it needs;
 * and the display sections, collected beside it on a second thread. */
extern const char *const summary_sections;
extern const char *const summary_beside;

/*
 * The summary of `doc` (sections as hostlens_collect writes them). Values
 * the library reports as "unknown" are left out. `public_ip` is the public
 * IP section or document member, or null. `logo` is the art to show on the
 * left, or "" for none; `color` adds terminal colour sequences.
 */
std::string summary_text(const nlohmann::ordered_json &doc, const nlohmann::ordered_json &public_ip,
                         const std::string &logo, bool color);

#endif
