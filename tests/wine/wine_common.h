/*
 * Shared by the Wine integration tests: calls into the real DLL through
 * GetProcAddress, and strict JSON parsing.
 */
#ifndef HL_WINE_COMMON_H
#define HL_WINE_COMMON_H

#include <windows.h>

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "hostlens_version.h"

extern HMODULE hl_dll;

typedef const char *(*hl_doc_fn)(void);
typedef const char *(*hl_logo_fn)(const char *);

inline hl_doc_fn hl_fn(const char *name)
{
    return (hl_doc_fn)(void *)GetProcAddress(hl_dll, name);
}

/* Calls a document export and returns its text ("<NULL>" for NULL). */
inline std::string hl_call(const char *name)
{
    hl_doc_fn f = hl_fn(name);
    if (f == NULL)
        return "<missing>";
    const char *t = f();
    return t != NULL ? std::string(t) : std::string("<NULL>");
}

/* Parses strictly; fails the test on invalid JSON. */
inline nlohmann::ordered_json hl_parse(const std::string &text)
{
    EXPECT_TRUE(nlohmann::json::accept(text)) << text;
    return nlohmann::ordered_json::parse(text, nullptr, false);
}

/* The keys of an object, in document order. */
inline std::string hl_keys(const nlohmann::ordered_json &obj)
{
    std::string s;
    for (auto it = obj.begin(); it != obj.end(); ++it)
        s += (s.empty() ? "" : ",") + it.key();
    return s;
}

#endif
