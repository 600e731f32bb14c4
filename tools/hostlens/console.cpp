#include "console.h"

#include <string.h>

std::wstring widen(const std::string &s)
{
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), NULL, 0);
    std::wstring w((size_t)(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

namespace
{

std::string narrow(const wchar_t *w, int len)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w, len, NULL, 0, NULL, NULL);
    std::string s((size_t)(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w, len, &s[0], n, NULL, NULL);
    return s;
}

bool write_bytes(HANDLE h, const char *p, size_t n, DWORD *error)
{
    while (n > 0) {
        DWORD chunk = n > 65536 ? 65536 : (DWORD)n, done = 0;
        if (!WriteFile(h, p, chunk, &done, NULL) || done == 0) {
            *error = GetLastError();
            if (*error == ERROR_SUCCESS)
                *error = ERROR_WRITE_FAULT;
            return false;
        }
        p += done;
        n -= done;
    }
    return true;
}

bool write_console(HANDLE h, const std::string &utf8, DWORD *error)
{
    std::wstring w = widen(utf8);
    size_t at = 0;
    while (at < w.size()) {
        DWORD chunk = w.size() - at > 8192 ? 8192 : (DWORD)(w.size() - at);
        /* Never split a surrogate pair between two calls. */
        if (chunk > 1 && at + chunk < w.size() && IS_HIGH_SURROGATE(w[at + chunk - 1]))
            chunk--;
        DWORD done = 0;
        if (!WriteConsoleW(h, w.data() + at, chunk, &done, NULL) || done == 0) {
            *error = GetLastError();
            if (*error == ERROR_SUCCESS)
                *error = ERROR_WRITE_FAULT;
            return false;
        }
        at += done;
    }
    return true;
}

} // namespace

void stream_open(out_stream *s, DWORD which)
{
    s->handle = GetStdHandle(which);
    s->mode_changed = false;
    s->saved_mode = 0;
    s->console = s->handle != NULL && s->handle != INVALID_HANDLE_VALUE &&
                 GetConsoleMode(s->handle, &s->saved_mode) != 0;
}

bool stream_write(out_stream *s, const std::string &utf8, DWORD *error)
{
    if (s->handle == NULL || s->handle == INVALID_HANDLE_VALUE) {
        *error = ERROR_INVALID_HANDLE;
        return false;
    }
    if (s->console)
        return write_console(s->handle, utf8, error);
    return write_bytes(s->handle, utf8.data(), utf8.size(), error);
}

bool running_under_wine(void)
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

bool stream_enable_color(out_stream *s)
{
    if (!s->console || running_under_wine())
        return false;
    if (s->saved_mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
        return true;
    if (!SetConsoleMode(s->handle, s->saved_mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return false;
    s->mode_changed = true;
    return true;
}

void stream_restore(out_stream *s)
{
    if (s->mode_changed)
        SetConsoleMode(s->handle, s->saved_mode);
    s->mode_changed = false;
}

/* The temporary file being written, for the control handler. */
static wchar_t pending_temp[MAX_PATH + 64];

/* Ctrl+C, Ctrl+Break or a closed console while the file is written: the
 * temporary file goes (once its handle closes, as the process ends), since
 * its name, after this process, is one no later run writes over. */
static BOOL WINAPI drop_temp(DWORD)
{
    if (pending_temp[0] != 0)
        DeleteFileW(pending_temp);
    return FALSE;
}

/* Access denied that waiting will not cure: the target is a folder or
 * read-only. */
static bool lasting_denial(const std::wstring &target)
{
    DWORD a = GetFileAttributesW(target.c_str());
    return a != INVALID_FILE_ATTRIBUTES &&
           (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0;
}

static bool write_and_rename(const std::wstring &target, const std::wstring &temp,
                             const std::string &text, DWORD *error)
{
    /* Delete sharing lets the control handler remove it while it is open. */
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    bool ok = write_bytes(h, text.data(), text.size(), error);
    if (ok && !FlushFileBuffers(h)) {
        *error = GetLastError();
        ok = false;
    }
    if (!CloseHandle(h) && ok) {
        *error = GetLastError();
        ok = false;
    }
    /* Replacing the target needs delete access to it, which a reader that
     * opened it without FILE_SHARE_DELETE withholds (Go's os.Open, used by
     * windows_exporter's textfile collector, is one): the rename fails with
     * a sharing violation or access denied until the reader closes it. Such
     * a reader holds it for moments, so the rename is tried again for about
     * a second before the run fails. */
    const ULONGLONG retry_ms = 1000;
    ULONGLONG start = GetTickCount64();
    while (ok && !MoveFileExW(temp.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = GetLastError();
        if ((*error != ERROR_SHARING_VIOLATION && *error != ERROR_ACCESS_DENIED) ||
            (*error == ERROR_ACCESS_DENIED && lasting_denial(target)) ||
            GetTickCount64() - start >= retry_ms)
            ok = false;
        else
            Sleep(50);
    }
    if (!ok)
        DeleteFileW(temp.c_str());
    return ok;
}

bool write_file_atomic(const std::string &path, const std::string &text, DWORD *error)
{
    std::wstring target = widen(path);
    /* Beside the target, so the rename stays on one volume; the suffix
     * keeps it out of a textfile collector's *.prom pattern. */
    std::wstring temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    bool handled = false;
    if (temp.size() < sizeof pending_temp / sizeof pending_temp[0]) {
        memcpy(pending_temp, temp.c_str(), (temp.size() + 1) * sizeof(wchar_t));
        handled = SetConsoleCtrlHandler(drop_temp, TRUE) != 0;
    }
    bool ok = write_and_rename(target, temp, text, error);
    if (handled)
        SetConsoleCtrlHandler(drop_temp, FALSE);
    pending_temp[0] = 0;
    return ok;
}

std::string error_text(DWORD error)
{
    wchar_t *buf = NULL;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             NULL, error, 0, (LPWSTR)&buf, 0, NULL);
    std::string s = n > 0 ? narrow(buf, (int)n) : std::string();
    if (buf != NULL)
        LocalFree(buf);
    while (!s.empty() &&
           (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    return (s.empty() ? "error" : s) + " (" + std::to_string(error) + ")";
}

std::vector<std::string> utf8_args(int argc, wchar_t **argv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; i++)
        args.push_back(narrow(argv[i], lstrlenW(argv[i])));
    return args;
}
