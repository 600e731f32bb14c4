/*
 * The default, fetch-style summary.
 */
#ifndef HOSTLENS_TOOL_VIEW_H
#define HOSTLENS_TOOL_VIEW_H

#include <stdio.h>

/* Prints the summary; 0 on success, 1 when the library ran out of memory. */
int print_summary(FILE *out, bool color, bool public_ip);

#endif
