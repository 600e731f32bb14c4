/*
 * Reading a parsed document the way both views need it.
 */
#ifndef HOSTLENS_TOOL_DOCUMENT_H
#define HOSTLENS_TOOL_DOCUMENT_H

#include <math.h>

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

/* A numeric member of `obj` into *out; false when it is missing, "unknown",
 * null, not a number or not finite. */
inline bool number(const nlohmann::ordered_json &obj, const char *key, double *out)
{
    if (!obj.is_object())
        return false;
    auto it = obj.find(key);
    if (it == obj.end() || !it->is_number())
        return false;
    *out = it->get<double>();
    return isfinite(*out) != 0;
}

#endif
