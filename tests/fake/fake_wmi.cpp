/*
 * A WMI provider: namespaces, rows of named, typed properties per class, the
 * COM objects of a query with their accounting, and a log of the flags and
 * timeouts the runner passes.
 */
#include "fake.h"

#include <ctype.h>
#include <string.h>

#include <deque>
#include <mutex>
#include <set>

namespace
{

const int32_t E_FAIL_ = (int32_t)0x80004005u;
const int32_t E_POINTER_ = (int32_t)0x80004003u;
const int32_t CO_E_NOTINITIALIZED_ = (int32_t)0x800401F0u;
const int32_t RPC_E_CHANGED_MODE_ = (int32_t)0x80010106u;
const int32_t WBEM_E_FAILED_ = (int32_t)0x80041001u;
const int32_t WBEM_E_NOT_FOUND_ = (int32_t)0x80041002u;
const int32_t WBEM_E_INVALID_NAMESPACE_ = (int32_t)0x8004100Eu;
const int32_t WBEM_E_INVALID_QUERY_ = (int32_t)0x80041017u;
const int32_t WBEM_S_FALSE_ = 1;
const uint64_t VARIANT_MARK = UINT64_C(0x56415249414E5421);

struct prop {
    std::string name;
    uint16_t vt;
    int64_t num;
    std::u16string str;
};

struct row_data {
    std::string ns, cls;
    std::vector<prop> props;
};

enum kind { LOCATOR, SERVICES, ENUMERATOR, ROW };

struct object {
    kind k;
    bool live;
    std::string ns;        /* services */
    std::vector<int> rows; /* enumerator */
    size_t pos;            /* enumerator */
    int row;               /* row */
};

std::recursive_mutex mu;
struct {
    std::set<fake_op> succeed_empty;
    std::set<std::string> namespaces; /* lower case */
    std::vector<row_data> rows;
    std::deque<object> objects; /* stable addresses; kept until reset */
    fake_wmi_log_t log;
    long misuse;
} w;

/* The calling thread's apartment, as the COM runtime tracks it. */
struct apartment {
    fake_apartment kind;
    int entries;
};
thread_local apartment apt;

/* CoInitializeEx asking for `kind`. */
int32_t enter(fake_apartment kind)
{
    if (apt.kind == FAKE_APT_NONE) {
        apt = apartment{kind, 1};
        return 0; /* S_OK */
    }
    if (apt.kind != kind)
        return RPC_E_CHANGED_MODE_;
    apt.entries++;
    return 1; /* S_FALSE */
}

void leave()
{
    if (apt.entries == 0) {
        fake_note_misuse();
        return;
    }
    if (--apt.entries == 0)
        apt.kind = FAKE_APT_NONE;
}

/* Success with no object, when the test asked for it. */
bool empty_success(fake_op op)
{
    return w.succeed_empty.erase(op) != 0;
}

std::string lower(std::string s)
{
    for (char &c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

void reset_wmi()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    w.succeed_empty.clear();
    apt = apartment{FAKE_APT_NONE, 0}; /* the resetting thread's */
    w.namespaces = {"root\\cimv2", "root\\wmi"};
    w.rows.clear();
    w.objects.clear();
    w.log = fake_wmi_log_t();
    w.misuse = 0;
}

fake_registrar registrar(reset_wmi);

object *make(kind k)
{
    w.objects.push_back(object{k, true, std::string(), {}, 0, -1});
    fake_acquire(FAKE_RES_COM);
    return &w.objects.back();
}

/* The live object of kind k behind a handle, or NULL (counted as misuse). */
object *live(hl_handle_t h, kind k)
{
    for (object &o : w.objects)
        if (&o == h) {
            if (o.live && o.k == k)
                return &o;
            break;
        }
    w.misuse++;
    return nullptr;
}

prop &add_prop(int row, const char *name)
{
    std::vector<prop> &ps = w.rows.at((size_t)row).props;
    for (prop &p : ps)
        if (lower(p.name) == lower(name))
            return p;
    ps.push_back(prop{name, 0, 0, std::u16string()});
    return ps.back();
}

/* The class named after FROM, or "" when the text has no FROM clause. */
std::string from_class(const std::string &query)
{
    std::string q = lower(query);
    size_t at = q.find(" from ");
    if (at == std::string::npos)
        return std::string();
    size_t start = at + 6;
    while (start < q.size() && q[start] == ' ')
        start++;
    size_t end = start;
    while (end < q.size() && q[end] != ' ')
        end++;
    return q.substr(start, end - start);
}

} // namespace

int32_t fake_com_host_enter(fake_apartment kind)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    return enter(kind);
}

void fake_com_host_leave()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    leave();
}

fake_apartment fake_com_apartment()
{
    return apt.kind;
}

int fake_com_entries()
{
    return apt.entries;
}

void fake_wmi_succeed_empty(fake_op op)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    w.succeed_empty.insert(op);
}

void fake_wmi_add_namespace(const char *ns)
{
    w.namespaces.insert(lower(ns));
}

void fake_wmi_drop_namespace(const char *ns)
{
    w.namespaces.erase(lower(ns));
}

int fake_wmi_row(const char *ns, const char *cls)
{
    w.rows.push_back(row_data{lower(ns), lower(cls), {}});
    return (int)w.rows.size() - 1;
}

void fake_wmi_num(int row, const char *name, uint16_t vt, int64_t num)
{
    prop &p = add_prop(row, name);
    p.vt = vt;
    p.num = num;
}

void fake_wmi_str(int row, const char *name, const char *utf8)
{
    fake_wmi_str16(row, name, fake_u16(utf8));
}

void fake_wmi_str16(int row, const char *name, const std::u16string &text)
{
    prop &p = add_prop(row, name);
    p.vt = 8;
    p.str = text;
}

void fake_wmi_null(int row, const char *name)
{
    add_prop(row, name).vt = 1;
}

const fake_wmi_log_t &fake_wmi_log()
{
    return w.log;
}

long fake_wmi_misuse()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    return w.misuse;
}

int32_t hl_port_com_init(void)
{
    FAKE_GUARD;
    long code = 0;
    std::lock_guard<std::recursive_mutex> g(mu);
    if (fake_hit(FAKE_COM_INIT, &code, E_FAIL_))
        return (int32_t)code;
    return enter(FAKE_APT_STA);
}

void hl_port_com_uninit(void)
{
    FAKE_GUARD;
    std::lock_guard<std::recursive_mutex> g(mu);
    fake_count(FAKE_COM_UNINIT);
    leave();
}

int32_t hl_port_wmi_locator(hl_handle_t *locator)
{
    FAKE_GUARD;
    long code = 0;
    std::lock_guard<std::recursive_mutex> g(mu);
    *locator = nullptr;
    if (fake_hit(FAKE_WMI_LOCATOR, &code, (long)0x80040154u))
        return (int32_t)code;
    if (apt.kind == FAKE_APT_NONE)
        return CO_E_NOTINITIALIZED_;
    if (empty_success(FAKE_WMI_LOCATOR))
        return 0;
    *locator = make(LOCATOR);
    return 0;
}

int32_t hl_port_wmi_connect(hl_handle_t locator, const char16_t *ns, int32_t flags,
                            hl_handle_t *services)
{
    FAKE_GUARD;
    long code = 0;
    std::lock_guard<std::recursive_mutex> g(mu);
    *services = nullptr;
    std::string name = fake_u8(ns);
    w.log.namespaces.push_back(name);
    w.log.connect_flags.push_back(flags);
    if (fake_hit(FAKE_WMI_CONNECT, &code, WBEM_E_FAILED_))
        return (int32_t)code;
    if (live(locator, LOCATOR) == nullptr)
        return E_POINTER_;
    if (w.namespaces.count(lower(name)) == 0)
        return WBEM_E_INVALID_NAMESPACE_;
    if (empty_success(FAKE_WMI_CONNECT))
        return 0;
    object *s = make(SERVICES);
    s->ns = lower(name);
    *services = s;
    return 0;
}

int32_t hl_port_wmi_exec(hl_handle_t services, const char16_t *query, int32_t flags,
                         hl_handle_t *enumerator)
{
    FAKE_GUARD;
    long code = 0;
    std::lock_guard<std::recursive_mutex> g(mu);
    *enumerator = nullptr;
    std::string text = fake_u8(query);
    w.log.queries.push_back(text);
    w.log.exec_flags.push_back(flags);
    if (fake_hit(FAKE_WMI_EXEC, &code, WBEM_E_FAILED_))
        return (int32_t)code;
    object *s = live(services, SERVICES);
    if (s == nullptr)
        return E_POINTER_;
    std::string cls = from_class(text);
    if (cls.empty() || lower(text).compare(0, 7, "select ") != 0)
        return WBEM_E_INVALID_QUERY_;
    if (empty_success(FAKE_WMI_EXEC))
        return 0;
    std::string ns = s->ns;
    object *e = make(ENUMERATOR);
    for (size_t i = 0; i < w.rows.size(); i++)
        if (w.rows[i].ns == ns && w.rows[i].cls == cls)
            e->rows.push_back((int)i);
    *enumerator = e;
    return 0;
}

int32_t hl_port_wmi_next(hl_handle_t enumerator, int32_t timeout_ms, hl_handle_t *row,
                         uint32_t *returned)
{
    FAKE_GUARD;
    long code = 0;
    std::lock_guard<std::recursive_mutex> g(mu);
    *row = nullptr;
    *returned = 0;
    w.log.next_timeouts.push_back(timeout_ms);
    if (fake_hit(FAKE_WMI_NEXT, &code, WBEM_E_FAILED_))
        return (int32_t)code; /* a failure, or WBEM_S_TIMEDOUT when scripted */
    object *e = live(enumerator, ENUMERATOR);
    if (e == nullptr)
        return E_POINTER_;
    if (e->pos >= e->rows.size())
        return WBEM_S_FALSE_;
    int index = e->rows[e->pos++];
    object *r = make(ROW);
    r->row = index;
    *row = r;
    *returned = 1;
    return 0;
}

void hl_port_com_release(hl_handle_t handle)
{
    FAKE_GUARD;
    std::lock_guard<std::recursive_mutex> g(mu);
    for (object &o : w.objects)
        if (&o == handle && o.live) {
            o.live = false;
            fake_release(FAKE_RES_COM);
            return;
        }
    w.misuse++;
}

int32_t hl_port_wmi_get(hl_handle_t row, const char16_t *name, hl_port_variant_t *v)
{
    FAKE_GUARD;
    long code = 0;
    std::lock_guard<std::recursive_mutex> g(mu);
    memset(v, 0, sizeof *v); /* VariantInit */
    std::string n = fake_u8(name);
    w.log.gets.push_back(n);
    if (fake_hit(FAKE_WMI_GET, &code, WBEM_E_FAILED_))
        return (int32_t)code;
    object *r = live(row, ROW);
    if (r == nullptr)
        return E_POINTER_;
    for (const prop &p : w.rows[(size_t)r->row].props) {
        if (lower(p.name) != lower(n))
            continue;
        v->vt = p.vt;
        if (p.vt == 8) {
            char16_t *copy = new char16_t[p.str.size() + 1];
            memcpy(copy, p.str.c_str(), (p.str.size() + 1) * sizeof(char16_t));
            v->str = copy;
            v->raw[0] = (uint64_t)(uintptr_t)copy;
        } else if (p.vt != 1) {
            v->num = p.num;
        }
        v->raw[1] = VARIANT_MARK;
        fake_acquire(FAKE_RES_VARIANT);
        return 0;
    }
    return WBEM_E_NOT_FOUND_;
}

int32_t hl_port_variant_clear(hl_port_variant_t *v)
{
    FAKE_GUARD;
    long code = 0;
    /* A failing VariantClear still gives up what the variant held: the caller
     * has no second chance to release it. */
    bool failed = fake_hit(FAKE_VARIANT_CLEAR, &code, (long)0x80020008u); /* DISP_E_BADVARTYPE */
    if (v->raw[1] == VARIANT_MARK) {
        delete[](char16_t *)(uintptr_t) v->raw[0];
        fake_release(FAKE_RES_VARIANT);
    }
    memset(v, 0, sizeof *v);
    return failed ? (int32_t)code : 0;
}
