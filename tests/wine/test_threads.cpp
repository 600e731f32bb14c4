/*
 * The real DLL under Wine on eight threads at once: each thread's documents
 * are whole, of their own module, and leave the error slot empty; the WMI
 * modules answer on every thread what they answered on the first.
 */
#include "wine_common.h"

#include <stdio.h>
#include <string.h>

#include <thread>
#include <vector>

namespace
{

struct module_export {
    const char *name;
    const char *key;
};

/* Every document export but the two slow ones. */
const module_export fast_exports[] = {
    {"hostlens_os", "os"},
    {"hostlens_kernel", "kernel"},
    {"hostlens_host", "host"},
    {"hostlens_uptime", "uptime"},
    {"hostlens_boot_time", "boot_time"},
    {"hostlens_packages", "packages"},
    {"hostlens_shell", "shell"},
    {"hostlens_terminal", "terminal"},
    {"hostlens_terminal_font", "terminal_font"},
    {"hostlens_resolution", "resolution"},
    {"hostlens_desktop_environment", "de"},
    {"hostlens_window_manager", "wm"},
    {"hostlens_cpu", "cpu"},
    {"hostlens_cpu_temp", "cpu_temp"},
    {"hostlens_gpu", "gpu"},
    {"hostlens_memory", "memory"},
    {"hostlens_swap", "swap"},
    {"hostlens_battery", "battery"},
    {"hostlens_disk", "disk"},
    {"hostlens_network", "network"},
    {"hostlens_locale", "locale"},
    {"hostlens_user", "user"},
    {"hostlens_process_count", "process_count"},
};

const char *const wmi_exports[] = {"hostlens_gpu", "hostlens_cpu_temp", "hostlens_battery"};

const int thread_count = 8;
const int rounds = 30;

struct thread_result {
    long calls = 0;
    std::vector<std::string> faults;
};

/* Calls one export and checks what a caller on any thread may rely on;
 * returns the text. */
std::string checked_call(const char *name, const char *key, thread_result &r)
{
    std::string text = hl_call(name);
    r.calls++;
    if (!nlohmann::json::accept(text)) {
        r.faults.push_back(std::string(name) + " invalid: " + text.substr(0, 200));
        return text;
    }
    auto doc = nlohmann::ordered_json::parse(text);
    if (key != nullptr && (!doc.is_object() || hl_keys(doc) != key))
        r.faults.push_back(std::string(name) + " keys " + hl_keys(doc));
    const char *err = ((hl_doc_fn)hl_fn("hostlens_last_error"))();
    if (err == NULL || *err != '\0')
        r.faults.push_back(std::string(name) + " left an error: " + (err ? err : "NULL"));
    return text;
}

} // namespace

TEST(WineThreads, EightThreadsGetWholeDocumentsOfTheirOwn)
{
    /* The first thread to ask starts COM; later threads ride on the process's
     * multithreaded apartment. */
    std::vector<std::string> wmi_first;
    for (const char *name : wmi_exports)
        wmi_first.push_back(hl_call(name));
    /* Wine's one video controller, so the threads are held to a real answer. */
    EXPECT_NE(wmi_first[0].find("\"VideoController1\""), std::string::npos) << wmi_first[0];
    const std::string logo = ((hl_logo_fn)(void *)hl_fn("hostlens_logo"))("windows");
    const std::string snapshot_keys = hl_keys(hl_parse(hl_call("hostlens_get_all")));
    typedef const char *(*collect_fn)(const char *);
    collect_fn collect = (collect_fn)(void *)GetProcAddress(hl_dll, "hostlens_collect");
    ASSERT_NE(collect, nullptr);

    std::vector<thread_result> results(thread_count);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; t++) {
        threads.emplace_back([&, t] {
            thread_result &r = results[t];
            for (int round = 0; round < rounds; round++) {
                /* Each thread starts at a different module, so the same
                 * collector runs on several threads at the same moment. */
                const size_t n = sizeof fast_exports / sizeof fast_exports[0];
                for (size_t i = 0; i < n; i++) {
                    const module_export &e = fast_exports[(i + (size_t)t * 3) % n];
                    std::string text = checked_call(e.name, e.key, r);
                    for (size_t w = 0; w < 3; w++)
                        if (strcmp(e.name, wmi_exports[w]) == 0 && text != wmi_first[w])
                            r.faults.push_back(std::string(e.name) + " differs: " + text);
                }
                if (std::string(((hl_doc_fn)hl_fn("hostlens_version"))()) !=
                    HOSTLENS_VERSION_STRING)
                    r.faults.push_back("version");
                if (((hl_logo_fn)(void *)hl_fn("hostlens_logo"))("windows") != logo)
                    r.faults.push_back("logo");
                r.calls += 2;
            }
            for (int i = 0; i < 2; i++) {
                checked_call("hostlens_public_ip", "public_ip", r);
                std::string all = checked_call("hostlens_get_all", nullptr, r);
                if (nlohmann::json::accept(all) &&
                    hl_keys(nlohmann::ordered_json::parse(all)) != snapshot_keys)
                    r.faults.push_back("snapshot sections differ");
                const char *some = collect("network,cpu,memory");
                r.calls++;
                std::string text = some != NULL ? some : "<NULL>";
                if (!nlohmann::json::accept(text) ||
                    hl_keys(nlohmann::ordered_json::parse(text)) != "cpu,memory,network")
                    r.faults.push_back("collect: " + text.substr(0, 200));
            }
        });
    }
    for (auto &t : threads)
        t.join();

    long calls = 0;
    for (int t = 0; t < thread_count; t++) {
        calls += results[t].calls;
        EXPECT_EQ(results[t].faults, std::vector<std::string>()) << "thread " << t;
    }
    printf("threads: %d threads, %ld calls\n", thread_count, calls);
}
