#include "watch.h"

#include <math.h>

#include <vector>

#include <nlohmann/json.hpp>

#include "console.h"
#include "hostlens.h"
#include "watch_view.h"

namespace
{

/* Set by the console's control handler, which runs on a thread of its own;
 * the loop waits on it between reads. */
HANDLE stop_event;

BOOL WINAPI on_control(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        SetEvent(stop_event);
        return TRUE;
    default:
        return FALSE;
    }
}

typedef decltype(&hostlens_sampler_open) open_fn;
typedef decltype(&hostlens_sampler_read) read_fn;
typedef decltype(&hostlens_sampler_close) close_fn;

struct sampler_api {
    open_fn open;
    read_fn read;
    close_fn close;
};

/* The sampler's functions in the library this program loaded. Looked up
 * rather than imported: with a library that has no sampler (an older
 * hostlens.dll beside the program) every other view still starts, and
 * --watch says what is missing. */
bool find_sampler(sampler_api *api)
{
    HMODULE dll = NULL;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCWSTR)(void *)&hostlens_version, &dll))
        return false;
    api->open = (open_fn)(void *)GetProcAddress(dll, "hostlens_sampler_open");
    api->read = (read_fn)(void *)GetProcAddress(dll, "hostlens_sampler_read");
    api->close = (close_fn)(void *)GetProcAddress(dll, "hostlens_sampler_close");
    return api->open != NULL && api->read != NULL && api->close != NULL;
}

/* The live view's place in the console: the window's rows from its top,
 * the cursor parked on the row after the view, and the cursor and colours
 * as they were, to give back. */
struct screen {
    HANDLE h;
    SHORT origin; /* the view's first row: the window's top */
    SHORT rows;   /* rows the view has drawn */
    WORD attributes;
    CONSOLE_CURSOR_INFO cursor;
    bool cursor_saved;
    bool color;
};

/* Blanks `count` rows from `first`, in the colours the console had. */
void blank_rows(screen *s, SHORT first, SHORT count, SHORT width)
{
    DWORD done = 0;
    for (SHORT y = first; y < first + count; y++) {
        FillConsoleOutputCharacterW(s->h, L' ', (DWORD)width, COORD{0, y}, &done);
        FillConsoleOutputAttribute(s->h, s->attributes, (DWORD)width, COORD{0, y}, &done);
    }
}

/* Takes the window: it is blanked, as cls does, and the view drawn from its
 * top. Drawing below the cursor instead would need to know where the
 * cursor is, and Wine's console in a terminal does not know where the
 * shell left it; a blank window is the same to both. */
bool screen_open(screen *s, HANDLE h, bool color)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(h, &info))
        return false;
    s->h = h;
    s->rows = 0;
    s->color = color;
    s->attributes = info.wAttributes;
    s->origin = info.srWindow.Top;
    blank_rows(s, info.srWindow.Top, (SHORT)(info.srWindow.Bottom - info.srWindow.Top + 1),
               info.dwSize.X);
    SetConsoleCursorPosition(h, COORD{0, s->origin});
    s->cursor_saved = GetConsoleCursorInfo(h, &s->cursor) != 0;
    if (s->cursor_saved) {
        CONSOLE_CURSOR_INFO hidden = s->cursor;
        hidden.bVisible = FALSE;
        SetConsoleCursorInfo(h, &hidden);
    }
    return true;
}

void screen_draw(screen *s, const nlohmann::ordered_json &doc)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(s->h, &info))
        return;
    SHORT width = (SHORT)(info.srWindow.Right - info.srWindow.Left + 1);
    SHORT height = (SHORT)(info.srWindow.Bottom - info.srWindow.Top + 1);
    if (width < 2 || height < 2)
        return;
    /* Never the last column, whose character would wrap to the next row,
     * nor the window's last row, which holds the cursor. */
    std::vector<view_row> rows = watch_view(doc, (size_t)width - 1, (size_t)height - 1);
    DWORD done = 0;
    /* A view that got shorter (a smaller window) leaves no rows behind. */
    if ((SHORT)rows.size() < s->rows)
        blank_rows(s, (SHORT)(s->origin + rows.size()), (SHORT)(s->rows - rows.size()), width);
    s->rows = (SHORT)rows.size();
    const WORD heading =
        FOREGROUND_BLUE | FOREGROUND_GREEN | FOREGROUND_INTENSITY | (s->attributes & (WORD)0xF0);
    for (SHORT i = 0; i < s->rows; i++) {
        COORD at = {0, (SHORT)(s->origin + i)};
        std::wstring text = widen(rows[(size_t)i].text);
        bool colored = s->color && rows[(size_t)i].heading;
        if (!text.empty()) {
            SetConsoleCursorPosition(s->h, at);
            if (colored)
                SetConsoleTextAttribute(s->h, heading);
            WriteConsoleW(s->h, text.data(), (DWORD)text.size(), &done, NULL);
            if (colored)
                SetConsoleTextAttribute(s->h, s->attributes);
            GetConsoleScreenBufferInfo(s->h, &info);
            at.X = info.dwCursorPosition.Y == at.Y ? info.dwCursorPosition.X : width;
        }
        /* The rest of the row, blank in the colours the console had. */
        if (at.X < width) {
            FillConsoleOutputCharacterW(s->h, L' ', (DWORD)(width - at.X), at, &done);
            FillConsoleOutputAttribute(s->h, s->attributes, (DWORD)(width - at.X), at, &done);
        }
    }
    SetConsoleCursorPosition(s->h, COORD{0, (SHORT)(s->origin + s->rows)});
}

/* The last frame stays; the cursor, shown again in its own shape, and the
 * colours are as they were, on the row below the view for the prompt. */
void screen_close(screen *s)
{
    SetConsoleTextAttribute(s->h, s->attributes);
    SetConsoleCursorPosition(s->h, COORD{0, (SHORT)(s->origin + s->rows)});
    if (s->cursor_saved)
        SetConsoleCursorInfo(s->h, &s->cursor);
}

/* A reader that closed its end: the pipe answers one of these. */
bool reader_gone(DWORD error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

double now_ms(void)
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart * 1000.0 / (double)f.QuadPart;
}

} // namespace

int watch(const watch_options &o, out_stream *out, void (*say)(const std::string &text))
{
    sampler_api api;
    if (!find_sampler(&api)) {
        say("this hostlens.dll has no sampler; --watch needs the library of the same version");
        return 1;
    }
    stop_event = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (stop_event == NULL) {
        say("cannot watch: " + error_text(GetLastError()));
        return 1;
    }
    SetConsoleCtrlHandler(on_control, TRUE);

    int rc = 0;
    /* Said once the view is given back: on the console the message would
     * otherwise sit on the row the prompt is drawn on. */
    std::string failure;
    screen view;
    bool live = out->console && !o.json && screen_open(&view, out->handle, o.color);
    hostlens_sampler *sampler = api.open();
    if (sampler == NULL) {
        failure = "the library ran out of memory";
        rc = 1;
    }
    /* The title at once: a long interval would otherwise show a blank
     * window until its end. */
    if (live && sampler != NULL)
        screen_draw(&view, nlohmann::ordered_json::object());
    const double interval = o.seconds * 1000.0;
    double start = now_ms();
    for (long long k = 1; sampler != NULL && (o.count == 0 || k <= o.count); k++) {
        /* Each read is due a whole number of intervals after the start, so
         * the time a read and its output take does not add up. One that is
         * due more than an interval ago (a suspended machine, a console held
         * by a selection) starts the count again from now. */
        double wait = start + (double)k * interval - now_ms();
        if (wait < -interval) {
            start = now_ms() - (double)k * interval;
            wait = 0;
        }
        DWORD ms = wait > 0 ? (DWORD)ceil(wait) : 0;
        if (WaitForSingleObject(stop_event, ms) == WAIT_OBJECT_0)
            break;
        const char *text = api.read(sampler, o.modules.c_str());
        if (text == NULL) {
            failure = "the library ran out of memory";
            rc = 1;
            break;
        }
        if (live) {
            screen_draw(&view, nlohmann::ordered_json::parse(text, nullptr, false));
            continue;
        }
        DWORD error = 0;
        if (!stream_write(out, std::string(text) + "\n", &error)) {
            if (!reader_gone(error)) {
                failure = "cannot write the output: " + error_text(error);
                rc = 1;
            }
            break;
        }
    }
    if (live)
        screen_close(&view);
    if (!failure.empty())
        say(failure);
    if (sampler != NULL)
        api.close(sampler);
    SetConsoleCtrlHandler(on_control, FALSE);
    CloseHandle(stop_event);
    return rc;
}
