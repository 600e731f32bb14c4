/*
 * Writes every document the portable library produces over the substitute
 * platform, for tests/schema/validate.py: a populated machine, an empty one,
 * and the populated one with each platform operation failing from its first
 * call on. One line per document: export, state, text.
 */
#include <stdio.h>

#include <string>

#include "exports_table.h"
#include "fake.h"
#include "machine.h"

static void write_documents(FILE *out, const std::string &state)
{
    for (const export_entry &e : export_table) {
        if (e.kind == EXPORT_TEXT || e.kind == EXPORT_SAMPLER)
            continue;
        const char *text = e.fn();
        fprintf(out, "%s\t%s\t%s\n", e.name, state.c_str(), text != nullptr ? text : "<NULL>");
    }
    /* A module without an export of its own, named alone, gives a document
     * of an export's form: it is checked against its own schema. */
    for (int i = HL_SNAPSHOT_MODULES; i < hl_module_count; i++) {
        const char *text = hostlens_collect(hl_modules[i].key);
        fprintf(out, "hostlens_%s\t%s\t%s\n", hl_modules[i].key, state.c_str(),
                text != nullptr ? text : "<NULL>");
    }
    /* The sampler's documents: its four rate modules, then every module
     * there is, with a count of processes, a refused and an unknown name. */
    std::string every = "processes:2,public_ip,bogus";
    for (int i = 0; i < hl_module_count; i++)
        every += std::string(",") + hl_modules[i].key;
    fake_push_perf_counter(10000000);
    fake_push_perf_counter(20000000);
    fake_push_perf_counter(30000000);
    hostlens_sampler *s = hostlens_sampler_open();
    /* The populated machine's processors are busier at each read. */
    if (state == "populated")
        fake_set_processor_times(
            0, {{UINT64_C(36005000000), UINT64_C(41008000000), UINT64_C(9002000000), 0, 0},
                {UINT64_C(35000000000), UINT64_C(38010000000), UINT64_C(12000000005), 0, 0},
                {UINT64_C(38010000000), UINT64_C(39010000000), UINT64_C(7000000000), 0, 0},
                {UINT64_C(30002500000), UINT64_C(36005000000), UINT64_C(11005000000), 0, 0}});
    const char *lists[] = {nullptr, every.c_str()};
    for (const char *list : lists) {
        const char *text = s != nullptr ? hostlens_sampler_read(s, list) : nullptr;
        fprintf(out, "hostlens_sampler\t%s\t%s\n", state.c_str(),
                text != nullptr ? text : "<NULL>");
    }
    hostlens_sampler_close(s);
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    FILE *out = fopen(argv[1], "wb");
    if (out == nullptr)
        return 1;

    fake_reset();
    script_machine();
    write_documents(out, "populated");

    fake_reset();
    fake_set_drives({});
    write_documents(out, "empty");

    for (int op = 0; op < FAKE_OP_COUNT; op++) {
        fake_reset();
        script_machine();
        fake_fail((fake_op)op, 1, true);
        write_documents(out, std::string("fail:") + fake_op_name((fake_op)op));
    }
    return fclose(out) == 0 ? 0 : 1;
}
