/*
 * Where the program's text goes: a console gets UTF-16 through
 * WriteConsoleW, so it shows correctly whatever the console's code page; a
 * pipe or a file gets the UTF-8 bytes. Every write is checked.
 */
#ifndef HOSTLENS_TOOL_CONSOLE_H
#define HOSTLENS_TOOL_CONSOLE_H

#include <windows.h>

#include <string>
#include <vector>

struct out_stream {
    HANDLE handle;
    bool console;
    DWORD saved_mode;
    bool mode_changed;
};

/* UTF-8 as UTF-16, for the console's wide functions. */
std::wstring widen(const std::string &s);

/* The standard handle `which` (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE). */
void stream_open(out_stream *s, DWORD which);

/* Writes all of `utf8`; false with *error set when the text could not be
 * written whole (a full disk, a closed pipe, no handle). */
bool stream_write(out_stream *s, const std::string &utf8, DWORD *error);

/* True when colour sequences will render on this stream: a console that
 * accepts virtual-terminal processing, and not Wine's, which accepts the
 * mode and then drops the ESC byte. Turns the mode on if needed. */
bool stream_enable_color(out_stream *s);

/* Gives the console back the mode it had. */
void stream_restore(out_stream *s);

/* True under Wine: its ntdll exports wine_get_version, Windows' does not. */
bool running_under_wine(void);

/* Writes `text` to a temporary file beside `path` and renames it over
 * `path`, so a reader sees the old file or the new one, never half of one.
 * A rename refused while a reader holds `path` open without delete sharing
 * is tried again for about a second. */
bool write_file_atomic(const std::string &path, const std::string &text, DWORD *error);

/* The system's text for a Win32 error code, in UTF-8, one line. */
std::string error_text(DWORD error);

/* The command line's arguments, as wmain has them, in UTF-8 (argv[0]
 * included). */
std::vector<std::string> utf8_args(int argc, wchar_t **argv);

#endif
