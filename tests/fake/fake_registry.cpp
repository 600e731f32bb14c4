/*
 * An in-memory registry: HKLM with its 64-bit and 32-bit views, HKCU (one
 * view), keys found without regard to letter case, typed values stored as
 * raw bytes (so values without a terminating NUL and odd sizes can be
 * scripted). Every opened key is accounted and must be closed.
 */
#include "fake.h"

#include <ctype.h>
#include <string.h>

#include <map>
#include <memory>
#include <set>

namespace
{

struct value {
    uint32_t type;
    std::vector<uint8_t> data;
};

struct node {
    std::string name; /* as created, for enumeration */
    std::vector<std::unique_ptr<node>> children;
    std::map<std::string, value> values; /* by lower-case name */
};

std::string lower(const std::string &s)
{
    std::string r = s;
    for (char &c : r)
        c = (char)tolower((unsigned char)c);
    return r;
}

node *trees[3]; /* HKLM 64-bit view, HKLM 32-bit view, HKCU */
std::set<node *> *open_keys;
std::vector<uint32_t> access_log;

node *root_node(hl_hkey_t root, int view)
{
    if (root == HL_HKEY_LOCAL_MACHINE)
        return trees[view == FAKE_VIEW_32 ? 1 : 0];
    if (root == HL_HKEY_CURRENT_USER)
        return trees[2];
    return nullptr;
}

node *child(node *n, const std::string &name, bool create)
{
    for (auto &c : n->children)
        if (lower(c->name) == lower(name))
            return c.get();
    if (!create)
        return nullptr;
    n->children.push_back(std::unique_ptr<node>(new node()));
    n->children.back()->name = name;
    return n->children.back().get();
}

node *walk(node *n, const std::string &path, bool create)
{
    size_t start = 0;
    while (n != nullptr && start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            n = child(n, path.substr(start, end - start), create);
        start = end + 1;
    }
    return n;
}

void reset_registry()
{
    for (node *&t : trees) {
        delete t;
        t = new node();
    }
    if (open_keys == nullptr)
        open_keys = new std::set<node *>();
    open_keys->clear();
    access_log.clear();
}

fake_registrar registrar(reset_registry);

/* A key handle is the node's address; roots are the predefined values. */
node *from_handle(hl_hkey_t key, uint32_t access)
{
    if (key == HL_HKEY_LOCAL_MACHINE || key == HL_HKEY_CURRENT_USER)
        return root_node(key, (access & 0x200) ? FAKE_VIEW_32 : FAKE_VIEW_64);
    node *n = (node *)key;
    return open_keys->count(n) ? n : nullptr;
}

} // namespace

void fake_reg_add_key(hl_hkey_t root, const char *path, int view)
{
    walk(root_node(root, view), path, true);
}

void fake_reg_set(hl_hkey_t root, const char *path, const char *name, uint32_t type,
                  const void *data, uint32_t size, int view)
{
    node *n = walk(root_node(root, view), path, true);
    value v;
    v.type = type;
    v.data.assign((const uint8_t *)data, (const uint8_t *)data + size);
    n->values[lower(name)] = v;
}

void fake_reg_set_sz(hl_hkey_t root, const char *path, const char *name, const char *utf8, int view,
                     uint32_t type)
{
    std::u16string s = fake_u16(utf8);
    fake_reg_set(root, path, name, type, s.c_str(), (uint32_t)((s.size() + 1) * 2), view);
}

void fake_reg_set_dword(hl_hkey_t root, const char *path, const char *name, uint32_t v, int view)
{
    fake_reg_set(root, path, name, 4, &v, 4, view);
}

const std::vector<uint32_t> &fake_reg_access_log()
{
    return access_log;
}

long hl_port_reg_open(hl_hkey_t root, const char16_t *subkey, uint32_t access, hl_hkey_t *out)
{
    FAKE_GUARD;
    long code = 0;
    *out = 0;
    access_log.push_back(access);
    if (fake_hit(FAKE_REG_OPEN, &code, 5))
        return code;
    node *base = from_handle(root, access);
    if (base == nullptr)
        return 6; /* ERROR_INVALID_HANDLE */
    node *n = walk(base, fake_u8(subkey), false);
    if (n == nullptr)
        return 2; /* ERROR_FILE_NOT_FOUND */
    open_keys->insert(n);
    fake_acquire(FAKE_RES_KEY);
    *out = (hl_hkey_t)n;
    return 0;
}

long hl_port_reg_query(hl_hkey_t key, const char16_t *name, uint32_t *type, void *data,
                       uint32_t *size)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_REG_QUERY, &code, 5))
        return code;
    node *n = from_handle(key, 0);
    if (n == nullptr)
        return 6;
    auto it = n->values.find(lower(fake_u8(name == nullptr ? u"" : name)));
    if (it == n->values.end())
        return 2;
    const value &v = it->second;
    uint32_t need = (uint32_t)v.data.size();
    if (type != nullptr)
        *type = v.type;
    if (data == nullptr) {
        *size = need;
        return 0;
    }
    if (*size < need) {
        *size = need;
        return 234; /* ERROR_MORE_DATA */
    }
    if (need != 0)
        memcpy(data, v.data.data(), need);
    *size = need;
    return 0;
}

long hl_port_reg_enum_key(hl_hkey_t key, uint32_t index, char16_t *name, uint32_t *name_len)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_REG_ENUM_KEY, &code, 5))
        return code;
    node *n = from_handle(key, 0);
    if (n == nullptr)
        return 6;
    if (index >= n->children.size())
        return 259; /* ERROR_NO_MORE_ITEMS */
    std::u16string s = fake_u16(n->children[index]->name.c_str());
    if (*name_len < s.size() + 1)
        return 234;
    memcpy(name, s.c_str(), (s.size() + 1) * 2);
    *name_len = (uint32_t)s.size();
    return 0;
}

void hl_port_reg_close(hl_hkey_t key)
{
    FAKE_GUARD;
    if (key == HL_HKEY_LOCAL_MACHINE || key == HL_HKEY_CURRENT_USER)
        return;
    node *n = (node *)key;
    if (open_keys->count(n) == 0) {
        fake_release(FAKE_RES_KEY); /* counted as misuse when none is open */
        return;
    }
    fake_release(FAKE_RES_KEY);
    /* Several handles may name one node; the set only tracks that it is open. */
    if (fake_outstanding(FAKE_RES_KEY) == 0)
        open_keys->clear();
}
