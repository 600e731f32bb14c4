/*
 * The display collector's rules over plain values, for the collector and its
 * tests.
 */
#ifndef HL_DISPLAY_H
#define HL_DISPLAY_H

#include <stdint.h>

/* A refresh rate given as a fraction, in hundredths of a hertz rounded to the
 * nearest; -1 for a zero numerator or denominator. */
int64_t hl_display_refresh_centihz(uint32_t numerator, uint32_t denominator);
/* DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY as a word: "HDMI", "DisplayPort",
 * "internal", ...; "unknown" for a value the platform does not define. */
const char *hl_display_connector(uint32_t technology);
/* DISPLAYCONFIG_ROTATION in degrees clockwise, or -1. */
int64_t hl_display_rotation(uint32_t rotation);
/* Effective DPI as a scale in percent of 96 DPI, rounded; -1 for 0. */
int64_t hl_display_scale_percent(uint32_t dpi);

#endif
