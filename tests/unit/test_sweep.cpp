/*
 * Every export against every failure the platform can give: for each port
 * operation, fail its k-th call (once, then from then on) for k = 1, 2, ...
 * until no fault fires. Each time the export must return NULL (memory only)
 * or a valid document of its shape, give back everything it acquired, and
 * leave the thread outside COM as it found it.
 */
#include "test_util.h"

#include <stdio.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "exports_table.h"
#include "machine.h"

static std::set<std::string> def_exports()
{
    std::set<std::string> names;
    std::ifstream def(HOSTLENS_SOURCE_DIR "/api/hostlens.def");
    std::string line;
    while (std::getline(def, line)) {
        std::istringstream in(line);
        std::string name;
        if (in >> name && name.rfind("hostlens_", 0) == 0)
            names.insert(name);
    }
    return names;
}

TEST(ExportTable, ListsEveryExportOfTheDll)
{
    std::set<std::string> table;
    for (const export_entry &e : export_table)
        table.insert(e.name);
    std::set<std::string> def = def_exports();
    EXPECT_EQ(def.size(), 32u);
    for (const std::string &name : def)
        EXPECT_TRUE(table.count(name)) << name << " is exported but not in the table";
    for (const std::string &name : table)
        EXPECT_TRUE(def.count(name)) << name << " is in the table but not exported";
}

static bool shape_ok(const export_entry &e, const char *text, std::string *why)
{
    if (e.kind == EXPORT_TEXT)
        return text != nullptr;
    if (text == nullptr) {
        *why = "NULL";
        return false;
    }
    if (!nlohmann::json::accept(text)) {
        *why = "invalid JSON";
        return false;
    }
    auto doc = nlohmann::ordered_json::parse(text);
    if (e.kind == EXPORT_SNAPSHOT) {
        if (doc.size() != 25 || (--doc.end()).key() != "logo") {
            *why = "snapshot sections";
            return false;
        }
        return true;
    }
    if (e.kind == EXPORT_SECTIONS || e.kind == EXPORT_SAMPLER) {
        if (keys_of(doc) == e.key)
            return true;
        *why = "sections " + keys_of(doc);
        return false;
    }
    if (doc.size() != 1 || doc.begin().key() != e.key) {
        *why = "key";
        return false;
    }
    bool list = e.kind == EXPORT_LIST;
    if (list ? !doc.begin()->is_array() : !doc.begin()->is_object()) {
        *why = "envelope";
        return false;
    }
    return true;
}

static void sweep(const export_entry &e, bool persistent, int *points)
{
    for (int op = 0; op < FAKE_OP_COUNT; op++) {
        for (int k = 1;; k++) {
            fake_reset();
            script_machine();
            e.fn(); /* the thread's buffer exists before we count blocks */
            fake_reset();
            script_machine();
            long blocks = fake_outstanding(FAKE_RES_HEAP);
            fake_fail((fake_op)op, k, persistent);
            const char *text = e.fn();
            if (!fake_fault_fired())
                break;
            ++*points;
            bool memory = op == FAKE_ALLOC || op == FAKE_REALLOC;
            std::string why;
            if (!(memory && text == nullptr && e.kind != EXPORT_TEXT)) {
                ASSERT_TRUE(shape_ok(e, text, &why))
                    << e.name << ": " << why << " with " << fake_op_name((fake_op)op) << " #" << k
                    << (persistent ? " onwards" : "") << ": " << doc(text);
            }
            ASSERT_TRUE(fake_all_released())
                << e.name << " left something open with " << fake_op_name((fake_op)op) << " #" << k;
            ASSERT_EQ(fake_com_apartment(), FAKE_APT_NONE)
                << e.name << " left the thread in COM with " << fake_op_name((fake_op)op) << " #"
                << k;
            /* The thread's one block stays, unless the document failed for want
             * of memory: then the buffer holds none until its next document. A
             * sampler's text is its own, and the close gives back all it had. */
            bool own = e.kind == EXPORT_TEXT || e.kind == EXPORT_SAMPLER;
            long expect = blocks - (text == nullptr && !own ? 1 : 0);
            ASSERT_EQ(fake_outstanding(FAKE_RES_HEAP), expect)
                << e.name << " leaked a block with " << fake_op_name((fake_op)op) << " #" << k;
            if (k > 5000)
                FAIL() << "fault of " << fake_op_name((fake_op)op) << " keeps firing";
        }
    }
}

/* The same for the operations a thread's first call makes for its own state,
 * on fresh threads of a process without a TLS index yet: when the thread
 * ends, every block it had is back. */
static void sweep_first_call(const export_entry &e, bool persistent, int *points)
{
    const fake_op ops[] = {FAKE_TLS_ALLOC, FAKE_TLS_SET, FAKE_ALLOC};
    for (fake_op op : ops) {
        for (int k = 1;; k++) {
            fake_reset();
            script_machine();
            e.fn(); /* the process's one-time look-ups are behind us */
            hl_dll_entry(HL_DLL_PROCESS_DETACH, nullptr);
            long blocks = fake_outstanding(FAKE_RES_HEAP);
            const char *text = nullptr;
            std::string why, error;
            std::thread([&] {
                fake_fail(op, k, persistent);
                text = e.fn();
                if (!(text == nullptr && e.kind != EXPORT_TEXT) && !shape_ok(e, text, &why))
                    why += ": " + doc(text);
                error = hostlens_last_error();
            }).join();
            if (!fake_fault_fired())
                break;
            ++*points;
            ASSERT_EQ(why, "") << e.name << " with " << fake_op_name(op) << " #" << k
                               << (persistent ? " onwards" : "");
            ASSERT_EQ(error, "") << e.name << " with " << fake_op_name(op) << " #" << k;
            ASSERT_TRUE(fake_all_released()) << e.name << " with " << fake_op_name(op) << " #" << k;
            ASSERT_EQ(fake_outstanding(FAKE_RES_HEAP), blocks)
                << e.name << " kept a block past the thread's end with " << fake_op_name(op) << " #"
                << k;
            if (k > 5000)
                FAIL() << "fault of " << fake_op_name(op) << " keeps firing";
        }
    }
}

class FaultSweep : public ::testing::TestWithParam<int>
{
};

TEST_P(FaultSweep, EveryOperationOnceAndFromThenOn)
{
    const export_entry &e = export_table[GetParam()];
    int points = 0;
    sweep(e, false, &points);
    sweep(e, true, &points);
    sweep_first_call(e, false, &points);
    sweep_first_call(e, true, &points);
    RecordProperty("fault_points", points);
    printf("%s: %d fault points\n", e.name, points);
    if (e.kind != EXPORT_TEXT) {
        EXPECT_GT(points, 0) << e.name << " met no fault at all";
    }
}

INSTANTIATE_TEST_SUITE_P(AllExports, FaultSweep,
                         ::testing::Range(0, (int)(sizeof export_table / sizeof export_table[0])),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(export_table[info.param].name);
                         });
