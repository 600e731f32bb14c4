/*
 * Reading a parsed document the way both views need it.
 */
#ifndef HOSTLENS_TOOL_DOCUMENT_H
#define HOSTLENS_TOOL_DOCUMENT_H

#include <nlohmann/json.hpp>

/* The section `key` of `doc`, or null when `doc` has none (a section the
 * collection was not asked for, or a document that is not an object). */
inline const nlohmann::ordered_json &section(const nlohmann::ordered_json &doc, const char *key)
{
    static const nlohmann::ordered_json none;
    if (!doc.is_object())
        return none;
    auto it = doc.find(key);
    return it == doc.end() ? none : *it;
}

#endif
