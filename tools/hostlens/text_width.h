/*
 * How much of a terminal row UTF-8 text takes, for the views that line text
 * up in columns.
 */
#ifndef HOSTLENS_TOOL_TEXT_WIDTH_H
#define HOSTLENS_TOOL_TEXT_WIDTH_H

#include <stddef.h>

#include <string>

/* The columns UTF-8 text takes on a terminal: one per character, two for an
 * East Asian wide or fullwidth one or an emoji, none for a combining mark
 * or a format character. */
size_t columns(const std::string &s);

/* The longest prefix of s that takes at most `width` columns, cut between
 * characters. */
std::string fit_columns(const std::string &s, size_t width);

/* s cut to `width` columns, then padded with blanks to exactly `width`
 * (left-aligned), or with `right` padded on the left. */
std::string pad_columns(const std::string &s, size_t width, bool right = false);

/* s with its control characters (C0, DEL and C1, ESC and CSI among them)
 * as blanks: a value from the registry or the firmware neither breaks a
 * view's lines nor drives the terminal. */
std::string printable(const std::string &s);

#endif
