/*
 * Helpers for the unit tests.
 */
#ifndef HL_TEST_UTIL_H
#define HL_TEST_UTIL_H

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fake.h"
#include "hostlens_internal.h"

/* The text of a document, or "<NULL>". */
inline std::string doc(const char *text)
{
    return text != nullptr ? std::string(text) : std::string("<NULL>");
}

/* Members of a record written into a scratch buffer. */
template <typename F> std::string written(F write)
{
    hl_json_t j;
    hl_json_init(&j);
    write(&j);
    std::string s = j.data != nullptr ? std::string(j.data, (size_t)j.length) : "<NULL>";
    hl_port_free(j.data);
    return s;
}

/* Asserts a document is strict JSON (valid UTF-8, no NaN) and returns it parsed. */
inline nlohmann::ordered_json parsed(const char *text)
{
    EXPECT_NE(text, nullptr);
    if (text == nullptr)
        return nlohmann::ordered_json();
    EXPECT_TRUE(nlohmann::json::accept(text)) << text;
    return nlohmann::ordered_json::parse(text, nullptr, false);
}

/* The keys of an object, in document order, joined with commas. */
inline std::string keys_of(const nlohmann::ordered_json &obj)
{
    std::string s;
    for (auto it = obj.begin(); it != obj.end(); ++it)
        s += (s.empty() ? "" : ",") + it.key();
    return s;
}

#endif
