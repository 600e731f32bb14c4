/*
 * The hostlens program, run as a child process with its output redirected:
 * every option, the exit codes, and its documents against the library's own.
 * A copy of the program beside the DLL built for 127.0.0.1 meets a server
 * this test runs, which counts the public IP requests.
 */
#include "wine_common.h"
#include "wine_server.h"

#include <string.h>

#include <atomic>
#include <vector>

struct run_result {
    DWORD code;
    std::string out, err;
};

static std::string drain(HANDLE h)
{
    std::string s;
    char buf[4096];
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, NULL) && got > 0)
        s.append(buf, got);
    return s;
}

static DWORD WINAPI drain_thread(LPVOID arg)
{
    void **a = (void **)arg;
    *(std::string *)a[1] = drain((HANDLE)a[0]);
    return 0;
}

static run_result run_tool(const std::wstring &args, const std::wstring &exe = L"hostlens.exe")
{
    run_result r{~0u, "", ""};
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE out_r, out_w, err_r, err_w;
    if (!CreatePipe(&out_r, &out_w, &sa, 0) || !CreatePipe(&err_r, &err_w, &sa, 0)) {
        r.err = "CreatePipe failed: " + std::to_string(GetLastError()) + "\n";
        return r;
    }
    SetHandleInformation(out_r, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_r, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out_w;
    si.hStdError = err_w;
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    PROCESS_INFORMATION pi;
    /* Once in many runs, Wine has failed to start a process at all; a
     * second try tells that apart from the program failing, and the log
     * keeps the reason. */
    BOOL ok = FALSE;
    for (int attempt = 0; attempt < 2 && !ok; attempt++) {
        ok = CreateProcessW(NULL, line.data(), NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
        if (!ok) {
            r.err = "CreateProcessW failed: " + std::to_string(GetLastError()) + "\n";
            printf("run_tool: %s", r.err.c_str());
            Sleep(200);
        }
    }
    if (ok)
        r.err.clear();
    CloseHandle(out_w);
    CloseHandle(err_w);
    if (ok) {
        void *err_args[2] = {err_r, &r.err};
        HANDLE t = CreateThread(NULL, 0, drain_thread, err_args, 0, NULL);
        r.out = drain(out_r);
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &r.code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(out_r);
    CloseHandle(err_r);
    return r;
}

static std::vector<std::string> lines_of(const std::string &s)
{
    std::vector<std::string> v;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); i++)
        if (s[i] == '\n') {
            v.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    if (start < s.size())
        v.push_back(s.substr(start));
    return v;
}

TEST(WineTool, VersionHelpAndList)
{
    for (const wchar_t *arg : {L"--version", L"-V"}) {
        run_result r = run_tool(arg);
        EXPECT_EQ(r.code, 0u);
        EXPECT_EQ(r.out,
                  "hostlens " HOSTLENS_VERSION_STRING " (library " HOSTLENS_VERSION_STRING ")\n");
    }
    for (const wchar_t *arg : {L"--help", L"-h", L"/?"}) {
        run_result r = run_tool(arg);
        EXPECT_EQ(r.code, 0u);
        EXPECT_EQ(r.out.rfind("usage: hostlens", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("--format FORMAT"), std::string::npos);
    }
    run_result r = run_tool(L"--list");
    EXPECT_EQ(r.code, 0u);
    auto lines = lines_of(r.out);
    /* The 24 snapshot modules, then those reached by name only: each of
     * these gives its own document through hostlens_collect. */
    ASSERT_GT(lines.size(), 24u);
    bool de = false;
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string &l = lines[i];
        de = de ||
             (i < 24 && l.rfind("desktop_environment", 0) == 0 && l.substr(l.size() - 3) == " de");
        if (i < 24)
            continue;
        std::string name = l.substr(0, l.find(' '));
        std::string text = hl_call_collect(name.c_str());
        EXPECT_EQ(text.rfind("{\"" + name + "\":", 0), 0u) << l;
    }
    EXPECT_TRUE(de) << r.out;
}

TEST(WineTool, Logos)
{
    hl_logo_fn logo = (hl_logo_fn)(void *)GetProcAddress(hl_dll, "hostlens_logo");
    run_result r = run_tool(L"--logo windows");
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(r.out, std::string(logo("windows")) + "\n");
    r = run_tool(L"--logo nothing-known");
    EXPECT_EQ(r.out, std::string(logo(NULL)) + "\n");
    for (const wchar_t *args : {L"--logo", L"--logo --json"}) {
        r = run_tool(args);
        EXPECT_EQ(r.code, 2u);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("hostlens: usage: hostlens --logo NAME, where NAME is windows, "
                              "linux or zephrion",
                              0),
                  0u)
            << r.err;
    }
}

TEST(WineTool, UnknownModuleOrOptionExitsTwoWithOneLine)
{
    run_result r = run_tool(L"cpu frobnicator");
    EXPECT_EQ(r.code, 2u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("frobnicator"), std::string::npos);
    EXPECT_NE(r.err.find("--list"), std::string::npos) << r.err;
    r = run_tool(L"--bogus");
    EXPECT_EQ(r.code, 2u);
    EXPECT_NE(r.err.find("--bogus"), std::string::npos);
    /* Options that cannot all be honoured are refused, not ignored; a
     * refused value is quoted as given. */
    struct {
        const wchar_t *args;
        const char *why;
    } refused[] = {
        {L"--pretty", "--pretty indents JSON"},
        {L"--format prometheus --pretty", "--pretty indents JSON"},
        {L"--format prometheus --json kernel", "two outputs"},
        {L"--format prometheus public_ip", "no public IP series"},
        {L"--watch --count -1", "not '-1'"},
        {L"--watch -1 cpu", "86400, written as 1 or 0.5, not '-1'"},
        {L"--output \"\"", "--output needs a file name"},
        {L"--list cpu", "--list takes no module names"},
        {L"--watch processes:-1", "N from 0 to 999999999, not '-1'"},
        {L"--format prometheus disk", "no series from disk: the volumes' series come from volumes"},
        {L"--logo linux --format prometheus", "--logo prints a logo alone"},
    };
    for (const auto &c : refused) {
        r = run_tool(c.args);
        EXPECT_EQ(r.code, 2u) << c.args;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    }
}

/* The snapshot's sections but the public IP, each with the snapshot's
 * members. */
TEST(WineTool, JsonIsEverySectionButThePublicIp)
{
    auto fresh = hl_parse(hl_call("hostlens_get_all"));
    fresh.erase("public_ip");
    fresh.erase("logo");
    for (const wchar_t *args : {L"--json", L"--json --pretty", L"--format json"}) {
        run_result r = run_tool(args);
        EXPECT_EQ(r.code, 0u);
        ASSERT_FALSE(r.out.empty());
        EXPECT_EQ(r.out.back(), '\n');
        auto printed = hl_parse(r.out);
        EXPECT_EQ(hl_keys(printed), hl_keys(fresh)) << args;
        for (auto it = fresh.begin(); it != fresh.end(); ++it)
            if (it.value().is_object()) {
                EXPECT_EQ(hl_keys(printed[it.key()]), hl_keys(it.value())) << it.key();
            }
        EXPECT_EQ(r.out.find("\n  \"os\": {") != std::string::npos,
                  wcsstr(args, L"--pretty") != NULL)
            << args;
    }
}

TEST(WineTool, JsonOfNamedModulesIsOneDocument)
{
    run_result r = run_tool(L"--json cpu desktop_environment memory");
    EXPECT_EQ(r.code, 0u) << r.err;
    auto printed = hl_parse(r.out);
    EXPECT_EQ(hl_keys(printed), "de,cpu,memory"); /* the snapshot's order */
    for (const char *m : {"hostlens_cpu", "hostlens_desktop_environment", "hostlens_memory"}) {
        auto own = hl_parse(hl_call(m));
        EXPECT_EQ(hl_keys(printed[own.begin().key()]), hl_keys(own.begin().value())) << m;
    }
    EXPECT_EQ(printed["de"], hl_parse(hl_call("hostlens_desktop_environment"))["de"]);
}

TEST(WineTool, ModuleDocumentsOnePerLine)
{
    run_result r = run_tool(L"kernel memory de");
    EXPECT_EQ(r.code, 0u);
    auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], hl_call("hostlens_kernel"));
    EXPECT_EQ(hl_parse(lines[1]).begin().key(), "memory");
    EXPECT_EQ(lines[2], "{\"de\":{\"name\":\"Windows Shell\"}}");
    r = run_tool(L"--pretty kernel");
    EXPECT_EQ(hl_parse(r.out), hl_parse(hl_call("hostlens_kernel")));
    EXPECT_GT(lines_of(r.out).size(), 3u);
    /* Several modules, indented: one object, so the output is one JSON text. */
    r = run_tool(L"--pretty kernel de");
    auto both = hl_parse(r.out);
    EXPECT_EQ(hl_keys(both), "kernel,de");
    EXPECT_EQ(both["de"], hl_parse(hl_call("hostlens_desktop_environment"))["de"]);
}

TEST(WineTool, SummaryShowsTheKnownValuesWithoutColour)
{
    run_result r = run_tool(L"");
    EXPECT_EQ(r.code, 0u) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "colour on a pipe";
    EXPECT_EQ(r.out.find("unknown"), std::string::npos) << r.out;
    auto os = hl_parse(hl_call("hostlens_os"))["os"];
    auto user = hl_parse(hl_call("hostlens_user"))["user"];
    auto locale = hl_parse(hl_call("hostlens_locale"))["locale"];
    auto net = hl_parse(hl_call("hostlens_network"))["network"];
    std::string title = user["username"].get<std::string>() + "@" + user["host"].get<std::string>();
    EXPECT_NE(r.out.find(title + "\n"), std::string::npos) << r.out;
    auto release = hl_parse(hl_call_collect("os_release"))["os_release"];
    std::string codename =
        os["codename"] == "unknown" ? "" : " " + os["codename"].get<std::string>();
    EXPECT_NE(r.out.find("OS: " + os["name"].get<std::string>() + codename + " (build " +
                         release["full_build"].get<std::string>() + ")\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Locale: " + locale["name"].get<std::string>() + "\n"), std::string::npos);
    if (net["local_ip"] != "unknown") {
        EXPECT_NE(r.out.find("Local IP: " + net["local_ip"].get<std::string>() + "\n"),
                  std::string::npos);
    }
    /* Wine's one display replaces the resolution line. */
    for (const char *label : {"Kernel: ", "Uptime: ", "Shell: ", "Display",
                              "DE: ", "WM: ", "CPU: ", "GPU: ", "Memory: ", "Disk (C:\\): "})
        EXPECT_NE(r.out.find(label), std::string::npos) << label << "\n" << r.out;
    /* Wine has no SMBIOS strings and no batteries: those lines are left out. */
    EXPECT_EQ(r.out.find("Host: "), std::string::npos);
    EXPECT_EQ(r.out.find("Resolution: "), std::string::npos);
    EXPECT_EQ(r.out.find("Battery"), std::string::npos);
    EXPECT_EQ(r.out.find("Public IP"), std::string::npos);
}

TEST(WineTool, NoColorOptionAndVariableAreAccepted)
{
    SetEnvironmentVariableW(L"NO_COLOR", L"1");
    run_result r = run_tool(L"--no-color");
    SetEnvironmentVariableW(L"NO_COLOR", NULL);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

/* A scraper that opened the file without delete sharing (as Go's os.Open
 * does) blocks the rename for as long as it holds it. This test is that
 * scraper: it lets go 300 ms after the program has written its temporary
 * file, and the program's retries then replace the file. */
TEST(WineTool, OutputWaitsForAReaderWithoutDeleteSharing)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir =
        std::wstring(temp) + L"hostlens-held-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(dir.c_str(), NULL);
    std::wstring file = dir + L"hostlens.prom";
    HANDLE h =
        CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "stale\n", 6, &written, NULL);

    std::wstring cmd = L"\"hostlens.exe\" --list --output \"" + file + L"\"";
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessW(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    /* The temporary file is written just before the rename. */
    std::wstring tmp_file = file + L"." + std::to_wstring(pi.dwProcessId) + L".tmp";
    bool seen = false;
    for (int i = 0; i < 3000 && !seen; i++) {
        seen = GetFileAttributesW(tmp_file.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!seen && WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0)
            break;
    }
    Sleep(300);
    CloseHandle(h);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = ~0u;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    EXPECT_TRUE(seen) << "the program ended before writing its temporary file";
    EXPECT_EQ(code, 0u);
    std::string content;
    HANDLE r =
        CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (r != INVALID_HANDLE_VALUE) {
        content = drain(r);
        CloseHandle(r);
    }
    EXPECT_EQ(content, run_tool(L"--list").out);
    EXPECT_EQ(content.find("stale"), std::string::npos);
    EXPECT_EQ(GetFileAttributesW(tmp_file.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(file.c_str());
    RemoveDirectoryW(dir.c_str());
}

/* A copy of the program beside the DLL that asks 127.0.0.1 for the public
 * IP, so the test's own server sees every request the program makes. */
struct local_tool {
    std::wstring exe;
    local_tool()
    {
        wchar_t self[MAX_PATH], temp[MAX_PATH];
        GetModuleFileNameW(NULL, self, MAX_PATH);
        std::wstring bin(self);
        bin = bin.substr(0, bin.find_last_of(L'\\') + 1);
        GetTempPathW(MAX_PATH, temp);
        std::wstring dir =
            std::wstring(temp) + L"hostlens-tool-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(dir.c_str(), NULL);
        exe = dir + L"hostlens.exe";
        CopyFileW((bin + L"hostlens.exe").c_str(), exe.c_str(), FALSE);
        CopyFileW((bin + L"hostlens_local.dll").c_str(), (dir + L"hostlens.dll").c_str(), FALSE);
    }
    ~local_tool()
    {
        std::wstring dir = exe.substr(0, exe.find_last_of(L'\\') + 1);
        DeleteFileW(exe.c_str());
        DeleteFileW((dir + L"hostlens.dll").c_str());
        RemoveDirectoryW(dir.c_str());
    }
};

TEST(WineTool, PublicIpOnlyWhenAskedAndWhyItFailed)
{
    local_tool tool;
    std::atomic<int> requests{0};
    std::atomic<bool> refuse{false};
    wine_server srv;
    ASSERT_TRUE(wine_server_start(srv, HOSTLENS_TEST_PUBLIC_IP_PORT, [&](SOCKET c, wine_server &) {
        requests++;
        std::string body = refuse ? "{\"status\":\"fail\",\"error\":\"no\"}"
                                  : "{\"query\":\"203.0.113.7\",\"country\":\"Germany\","
                                    "\"city\":\"Berlin\"}";
        wine_send_all(c, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                             "\r\nConnection: close\r\n\r\n" + body);
    }));

    for (const wchar_t *args : {L"", L"--json", L"--format prometheus", L"--json cpu"}) {
        run_result r = run_tool(args, tool.exe);
        EXPECT_EQ(r.code, 0u) << r.err;
    }
    EXPECT_EQ(requests, 0) << "a network request without --public-ip";

    run_result r = run_tool(L"--public-ip", tool.exe);
    EXPECT_NE(r.out.find("\nPublic IP: 203.0.113.7 (Berlin, Germany)\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "");
    r = run_tool(L"--json --public-ip", tool.exe);
    auto doc = hl_parse(r.out);
    auto keys = hl_keys(doc);
    EXPECT_NE(keys.find(",network,public_ip,locale,"), std::string::npos) << keys;
    EXPECT_EQ(doc["public_ip"].dump(),
              "{\"ip\":\"203.0.113.7\",\"country\":\"Germany\",\"city\":\"Berlin\"}");
    /* With module documents, one more line. */
    r = run_tool(L"kernel --public-ip", tool.exe);
    auto lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[1].rfind("{\"public_ip\":{\"ip\":\"203.0.113.7\"", 0), 0u) << r.out;
    EXPECT_EQ(requests, 3);

    refuse = true;
    r = run_tool(L"--json public_ip", tool.exe);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(hl_parse(r.out).dump(),
              "{\"public_ip\":{\"ip\":\"unknown\",\"country\":\"unknown\",\"city\":\"unknown\"}}");
    EXPECT_EQ(r.err, "hostlens: no public IP: 127.0.0.1 returned an error\n");
    /* The module's own document says it in its "error", and the program on
     * its standard error as everywhere else. */
    r = run_tool(L"public_ip", tool.exe);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(r.err, "hostlens: no public IP: 127.0.0.1 returned an error\n");
    wine_server_stop(srv);
}
