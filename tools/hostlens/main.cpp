/*
 * hostlens: prints what the library reports about this Windows machine, as
 * a summary, as the library's JSON, as Prometheus metrics, or module by
 * module.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "collect.h"
#include "console.h"
#include "hostlens.h"
#include "modules.h"
#include "prometheus.h"
#include "summary.h"
#include "watch.h"

#define HOSTLENS_TOOL_VERSION HOSTLENS_VERSION_STRING

using json = nlohmann::ordered_json;

static const char usage_text[] =
    "usage: hostlens [options] [module...]\n"
    "       hostlens --watch [SECONDS] [--count N] [--json] [module...]\n"
    "\n"
    "With no module, prints a summary of this machine. The summary, --json and\n"
    "--format prometheus each collect their modules in one pass of the library,\n"
    "and none of them makes a network request unless --public-ip is given. The\n"
    "summary waits for nothing: it shows no CPU usage, which takes a sampling\n"
    "window; --watch shows it.\n"
    "\n"
    "  module...         print those module documents, one per line (see --list);\n"
    "                    with --json or --format, collect only those modules\n"
    "  --json            print one document of the snapshot's modules (or of\n"
    "                    those named: volumes, processes and the like only so)\n"
    "  --format FORMAT   summary, json or prometheus (the Prometheus text format,\n"
    "                    for the textfile collector of windows_exporter)\n"
    "  --output FILE     write to FILE through a temporary file renamed over it\n"
    "  --pretty          indent JSON output (several modules: one object); not\n"
    "                    with the summary or Prometheus text\n"
    "  --public-ip       add the public IP (one HTTP request); tells on stderr why\n"
    "                    when it cannot be had\n"
    "  --watch [SECONDS] every SECONDS (default 1, fractions allowed, at least\n"
    "                    0.05) the rates over the last interval of the modules\n"
    "                    named (default cpu, memory, net_io and disk_io;\n"
    "                    processes:N for the N busiest processes, 10 without N):\n"
    "                    a live view on a console until Ctrl+C, else one JSON\n"
    "                    document per line; never public_ip, which waits\n"
    "  --count N         with --watch, stop after N intervals\n"
    "  --list            list the module names and their document keys\n"
    "  --logo NAME       print a logo: windows, linux or zephrion (others: the default)\n"
    "  --no-color        no colours (also with a non-empty NO_COLOR)\n"
    "  -V, --version     print the program's and the library's versions\n"
    "  -h, --help, /?    print this help\n";

enum format { FORMAT_MODULES, FORMAT_SUMMARY, FORMAT_JSON, FORMAT_PROMETHEUS };

struct options {
    format fmt = FORMAT_SUMMARY;
    bool pretty = false, list = false, version = false, help = false;
    bool public_ip = false, no_color = false, want_logo = false;
    std::string logo, output;
    bool have_output = false;
    std::vector<const module_entry *> wanted;
    bool watch = false;
    watch_options watching;
    bool count_given = false;
    std::string watch_list; /* the sampler's list, processes:N as given */
};

static out_stream out_std, err_std;

static void say(const std::string &text)
{
    DWORD error;
    stream_write(&err_std, "hostlens: " + text + "\n", &error);
}

static int fail_usage(const std::string &text)
{
    say(text + " (see hostlens --help)");
    return 2;
}

/* A number of seconds as --watch takes it: a decimal number, whole or with
 * a fraction, and nothing else. */
static bool seconds_of(const std::string &text, double *out)
{
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.') != text.rfind('.') || text == ".")
        return false;
    *out = strtod(text.c_str(), NULL);
    return true;
}

/* Whether the word after --watch is meant as its seconds: no module name
 * or option begins with a digit, a point, or a minus before one ("-1",
 * "1e3", "2s" are seconds given wrongly, not unknown modules). */
static bool meant_as_seconds(const std::string &text)
{
    size_t at = !text.empty() && text[0] == '-' ? 1 : 0;
    return at < text.size() && (isdigit((unsigned char)text[at]) || text[at] == '.');
}

/* "processes:N": the sampler's N busiest processes. */
static bool processes_with_count(const std::string &a)
{
    const std::string p = "processes:";
    return a.size() > p.size() && a.compare(0, p.size(), p) == 0 &&
           a.find_first_not_of("0123456789", p.size()) == std::string::npos &&
           a.size() - p.size() <= 9;
}

/* --list, --version, --help and --logo print their own text, which the
 * output's options do not shape. */
static bool prints_own_text(const options *o)
{
    return o->list || o->version || o->help || o->want_logo;
}

/* What --watch takes: modules, --json, --count and --no-color; the one-shot
 * views' options are refused rather than ignored. */
static int parse_watch(options *o, bool json_flag, bool format_given)
{
    if (prints_own_text(o))
        return 0;
    if (o->pretty)
        return fail_usage("--watch writes one compact JSON document per line; --pretty would "
                          "break the lines");
    if (o->have_output)
        return fail_usage("--output writes one whole file; redirect --watch's lines instead");
    if (format_given && o->fmt != FORMAT_JSON)
        return fail_usage("--watch shows rates over each interval; the summary and the "
                          "Prometheus text stay one-shot (a fleet takes rates itself)");
    for (const module_entry *m : o->wanted)
        if (strcmp(m->key, "public_ip") == 0 || o->public_ip)
            return fail_usage("--watch never waits on the network: leave out public_ip");
    if (o->public_ip)
        return fail_usage("--watch never waits on the network: leave out --public-ip");
    o->watching.json = json_flag || format_given;
    o->watching.modules = o->watch_list.empty() ? "cpu,memory,net_io,disk_io" : o->watch_list;
    return 0;
}

/* Parses the command line; 0 to go on, else the exit status. */
static int parse(const std::vector<std::string> &args, options *o)
{
    bool json_flag = false, format_given = false;
    for (size_t i = 1; i < args.size(); i++) {
        const std::string &a = args[i];
        bool has_next = i + 1 < args.size() && args[i + 1].rfind("-", 0) != 0;
        /* What follows an option, for a message that quotes it. */
        const std::string given = i + 1 < args.size() ? args[i + 1] : "";
        if (a == "--json") {
            json_flag = true;
        } else if (a == "--pretty") {
            o->pretty = true;
        } else if (a == "--list") {
            o->list = true;
        } else if (a == "--version" || a == "-V") {
            o->version = true;
        } else if (a == "--help" || a == "-h" || a == "/?") {
            o->help = true;
        } else if (a == "--public-ip") {
            o->public_ip = true;
        } else if (a == "--no-color") {
            o->no_color = true;
        } else if (a == "--logo") {
            if (!has_next) {
                say("usage: hostlens --logo NAME, where NAME is windows, linux or zephrion "
                    "(any other name prints the default logo)");
                return 2;
            }
            o->want_logo = true;
            o->logo = args[++i];
        } else if (a == "--format") {
            std::string f = has_next ? args[++i] : "";
            if (f == "summary")
                o->fmt = FORMAT_SUMMARY;
            else if (f == "json")
                o->fmt = FORMAT_JSON;
            else if (f == "prometheus")
                o->fmt = FORMAT_PROMETHEUS;
            else
                return fail_usage("--format takes summary, json or prometheus, not '" + given +
                                  "'");
            format_given = true;
        } else if (a == "--watch") {
            o->watch = true;
            double seconds = 0;
            if (i + 1 < args.size() && meant_as_seconds(args[i + 1])) {
                i++;
                if (!seconds_of(args[i], &seconds) || !(seconds >= 0.05 && seconds <= 86400))
                    return fail_usage("--watch takes seconds from 0.05 to 86400, written as 1 "
                                      "or 0.5, not '" +
                                      args[i] + "'");
                o->watching.seconds = seconds;
            }
        } else if (a == "--count") {
            std::string n = has_next ? args[++i] : "";
            if (n.empty() || n.size() > 9 ||
                n.find_first_not_of("0123456789") != std::string::npos || atol(n.c_str()) < 1)
                return fail_usage("--count takes a whole number of intervals, from 1 to "
                                  "999999999, not '" +
                                  given + "'");
            o->watching.count = atol(n.c_str());
            o->count_given = true;
        } else if (a == "--output") {
            if (!has_next || args[i + 1].empty())
                return fail_usage("--output needs a file name");
            o->output = args[++i];
            o->have_output = true;
        } else if (!a.empty() && a[0] == '-') {
            return fail_usage("unknown option '" + a + "'");
        } else if (processes_with_count(a)) {
            o->watch_list += (o->watch_list.empty() ? "" : ",") + a;
            o->wanted.push_back(find_module("processes"));
        } else {
            const module_entry *m = find_module(a.c_str());
            if (m == NULL && a.rfind("processes:", 0) == 0)
                return fail_usage("processes:N takes N from 0 to 999999999, not '" + a.substr(10) +
                                  "'");
            if (m == NULL) {
                say("unknown module '" + a + "' (hostlens --list names them)");
                return 2;
            }
            o->wanted.push_back(m);
            o->watch_list += (o->watch_list.empty() ? "" : ",") + std::string(m->key);
        }
    }
    /* The logo alone, to the console or to --output: an output asked for
     * beside it would be left out without a word. */
    if (o->want_logo && !o->list && !o->version && !o->help &&
        (json_flag || format_given || o->pretty || o->watch || o->public_ip || !o->wanted.empty()))
        return fail_usage("--logo prints a logo alone; leave out the other output's options");
    /* A name beside --list or --version would be left out without a word
     * (--help answers whatever else is given). */
    if ((o->list || o->version) && !o->help && !o->wanted.empty())
        return fail_usage(std::string(o->list ? "--list" : "--version") + " takes no module names");
    if (o->watch)
        return parse_watch(o, json_flag, format_given);
    if (o->count_given)
        return fail_usage("--count goes with --watch");
    if (o->watch_list.find("processes:") != std::string::npos)
        return fail_usage("processes:N goes with --watch (name processes alone otherwise)");
    if (json_flag && format_given && o->fmt != FORMAT_JSON)
        return fail_usage(std::string("--json and --format ") +
                          (o->fmt == FORMAT_SUMMARY ? "summary" : "prometheus") +
                          " ask for two outputs");
    if (json_flag)
        o->fmt = FORMAT_JSON;
    else if (!format_given && !o->wanted.empty())
        o->fmt = FORMAT_MODULES;
    if (o->fmt == FORMAT_SUMMARY && !o->wanted.empty())
        return fail_usage("the summary takes no module names");
    bool named_ip = false;
    for (const module_entry *m : o->wanted)
        named_ip = named_ip || strcmp(m->key, "public_ip") == 0;
    /* A request whose answer no series would carry. */
    if (o->fmt == FORMAT_PROMETHEUS && (o->public_ip || named_ip) && !prints_own_text(o))
        return fail_usage("the Prometheus text has no public IP series: leave out public_ip");
    /* A module no series is read from would give an empty text, which a
     * textfile collector takes for a machine without those metrics. */
    for (const module_entry *m : o->wanted)
        if (o->fmt == FORMAT_PROMETHEUS && !prometheus_reads(m->key) && !prints_own_text(o))
            return fail_usage(std::string("the Prometheus text has no series from ") + m->key +
                              (strcmp(m->key, "disk") == 0
                                   ? ": the volumes' series come from volumes"
                                   : ": leave it out"));
    /* With module documents, --public-ip is one more of them. */
    if (o->fmt == FORMAT_MODULES && o->public_ip && !named_ip)
        o->wanted.push_back(find_module("public_ip"));
    /* Refused rather than ignored: whoever asked for indented JSON expects
     * JSON, and would otherwise get the summary or metrics without a word. */
    if (o->pretty && (o->fmt == FORMAT_SUMMARY || o->fmt == FORMAT_PROMETHEUS) &&
        !prints_own_text(o))
        return fail_usage(std::string("--pretty indents JSON; the ") +
                          (o->fmt == FORMAT_SUMMARY ? "summary" : "Prometheus text") +
                          " is not JSON (add --json, or name modules)");
    return 0;
}

/* Why the public IP could not be had, on standard error. The library's
 * message starts with its module's name, which this line already says. */
static void say_no_public_ip(std::string why)
{
    if (why.rfind("public_ip: ", 0) == 0)
        why.erase(0, 11);
    say("no public IP: " + why);
}

static void say_public_ip_error(const json &doc)
{
    if (doc.is_object() && doc.contains("public_ip") && doc["public_ip"].is_object() &&
        doc["public_ip"].contains("error") && doc["public_ip"]["error"].is_string())
        say_no_public_ip(doc["public_ip"]["error"].get<std::string>());
}

static std::string pretty_json(const json &doc)
{
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

/* Module documents: one line each as the library wrote them, or with
 * --pretty one indented object holding them all, so the output stays one
 * JSON text. */
static int module_documents(const options &o, std::string *text)
{
    json all = json::object();
    for (const module_entry *m : o.wanted) {
        const char *doc = module_document(m);
        if (doc == NULL)
            return 1;
        if (strcmp(m->key, "public_ip") == 0)
            say_public_ip_error(json::parse(doc, nullptr, false));
        if (!o.pretty) {
            *text += std::string(doc) + "\n";
            continue;
        }
        json d = json::parse(doc, nullptr, false);
        if (d.is_object())
            for (auto it = d.begin(); it != d.end(); ++it)
                all[it.key()] = it.value();
    }
    if (o.pretty)
        *text = pretty_json(all);
    return 0;
}

/* The summary, --json and --format prometheus: one collection. */
static int collected_output(const options &o, bool to_console, bool color, std::string *text)
{
    /* Naming the public IP is asking for it; it is fetched beside the pass. */
    bool public_ip = o.public_ip;
    std::vector<const module_entry *> wanted;
    for (const module_entry *m : o.wanted) {
        if (strcmp(m->key, "public_ip") == 0)
            public_ip = true;
        else
            wanted.push_back(m);
    }
    std::string sections;
    bool times_for_labels = false;
    if (o.fmt == FORMAT_SUMMARY) {
        sections = summary_sections;
    } else if (!o.wanted.empty()) {
        sections = section_list(wanted);
        /* The processors' usage is labelled as their times are, whichever
         * modules are named: the times come along for their labels. */
        bool cpu = false, times = false;
        for (const module_entry *m : wanted) {
            cpu = cpu || strcmp(m->key, "cpu") == 0;
            times = times || strcmp(m->key, "cpu_times") == 0;
        }
        times_for_labels = o.fmt == FORMAT_PROMETHEUS && cpu && !times;
        if (times_for_labels)
            sections += ",cpu_times";
    } else {
        /* The snapshot's sections: the modules reached only by name come
         * only when named, or when the metrics need them. */
        for (int i = 0; i < module_count; i++)
            if (modules[i].fn != nullptr && strcmp(modules[i].key, "public_ip") != 0)
                wanted.push_back(&modules[i]);
        sections = section_list(wanted);
        if (o.fmt == FORMAT_PROMETHEUS)
            sections += std::string(",") + prometheus_named_sections;
    }

    collection c;
    if (!collect(sections, public_ip, &c, o.fmt == FORMAT_SUMMARY ? summary_beside : ""))
        return 1;
    if (!c.public_ip_error.empty())
        say_no_public_ip(c.public_ip_error);
    if (o.fmt == FORMAT_JSON) {
        *text = o.pretty ? pretty_json(c.doc) : c.text + "\n";
    } else if (o.fmt == FORMAT_PROMETHEUS) {
        json labels;
        if (times_for_labels && c.doc.is_object() && c.doc.contains("cpu_times")) {
            labels = c.doc["cpu_times"];
            c.doc.erase("cpu_times");
        }
        *text = prometheus_text(c.doc, labels);
        /* Written all the same (no stale series stays in a textfile
         * collector's folder), but not without a word. */
        if (text->empty())
            say("the Prometheus text is empty: the modules named have no value known on this "
                "machine");
    } else {
        const json &ip =
            c.doc.is_object() && c.doc.contains("public_ip") ? c.doc["public_ip"] : json();
        *text = summary_text(c.doc, ip, to_console ? hostlens_logo("windows") : "", color);
    }
    return 0;
}

static int run(const options &o)
{
    std::string text;
    bool to_console = out_std.console && !o.have_output;
    if (o.help) {
        text = usage_text;
    } else if (o.version) {
        text = std::string("hostlens ") + HOSTLENS_TOOL_VERSION + " (library " +
               hostlens_version() + ")\n";
    } else if (o.list) {
        for (int i = 0; i < module_count; i++) {
            char line[64];
            snprintf(line, sizeof line, "%-20s %s\n", modules[i].name, modules[i].key);
            text += line;
        }
    } else if (o.want_logo) {
        text = std::string(hostlens_logo(o.logo.c_str())) + "\n";
    } else if (o.watch) {
        watch_options w = o.watching;
        const char *no_color_env = getenv("NO_COLOR");
        w.color = !o.no_color && (no_color_env == NULL || no_color_env[0] == '\0');
        return watch(w, &out_std, say);
    } else {
        const char *no_color_env = getenv("NO_COLOR");
        bool color = to_console && o.fmt == FORMAT_SUMMARY && !o.no_color &&
                     (no_color_env == NULL || no_color_env[0] == '\0') &&
                     stream_enable_color(&out_std);
        int rc = o.fmt == FORMAT_MODULES ? module_documents(o, &text)
                                         : collected_output(o, to_console, color, &text);
        if (rc != 0) {
            say("the library ran out of memory");
            return rc;
        }
    }

    DWORD error = 0;
    if (o.have_output) {
        if (!write_file_atomic(o.output, text, &error)) {
            say("cannot write " + o.output + ": " + error_text(error));
            return 1;
        }
    } else if (!stream_write(&out_std, text, &error)) {
        say("cannot write the output: " + error_text(error));
        return 1;
    }
    return 0;
}

/* wmain, for the arguments in UTF-16 without shell32, which would load
 * user32 and the rest of the GUI stack at every start. */
int wmain(int argc, wchar_t **argv)
{
    stream_open(&out_std, STD_OUTPUT_HANDLE);
    stream_open(&err_std, STD_ERROR_HANDLE);
    options o;
    int rc = parse(utf8_args(argc, argv), &o);
    if (rc == 0)
        rc = run(o);
    stream_restore(&out_std);
    return rc;
}
