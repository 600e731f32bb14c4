/*
 * The Prometheus text exposition format (version 0.0.4) of a document, for
 * the textfile collectors of windows_exporter and node_exporter. Portable:
 * it reads a parsed document and returns text.
 */
#ifndef HOSTLENS_TOOL_PROMETHEUS_H
#define HOSTLENS_TOOL_PROMETHEUS_H

#include <string>

#include <nlohmann/json.hpp>

/* The modules reached only by name whose values the metrics carry: the
 * default collection of --format prometheus adds them to the snapshot's
 * sections. */
extern const char *const prometheus_named_sections;

/*
 * Gauges, counters (names ending in _total) and info metrics (value 1, texts
 * as labels) named hostlens_*, in base units, each family once with its HELP
 * and TYPE lines. Sections the
 * document lacks and values it reports as unknown are left out, so a
 * document of a failing machine gives fewer samples, never invented ones.
 * No timestamps: the textfile collectors refuse them. `core_labels`, a
 * cpu_times section, labels the processors' usage when the document has
 * none of its own (its times are not written).
 */
std::string prometheus_text(const nlohmann::ordered_json &doc,
                            const nlohmann::ordered_json &core_labels = nullptr);

/* Whether any series is read from the module `key`: naming one that feeds
 * none would give an empty text that looks like success. */
bool prometheus_reads(const std::string &key);

#endif
