/*
 * The process environment (GetEnvironmentVariableW semantics), the account
 * and host names, the system locale, and a process snapshot whose handle
 * must be closed.
 */
#include "fake.h"

#include <string.h>

#include <map>

namespace
{

struct name_answer {
    bool ok;
    std::u16string text;
};

struct snapshot {
    int next; /* entries handed out so far */
};

struct {
    std::map<std::string, std::u16string> *vars;
    name_answer user, computer, locale;
    int processes;
    std::vector<snapshot *> *open;
    std::vector<uint32_t> *locale_requests;
} env;

void reset_env()
{
    if (env.vars == nullptr)
        env.vars = new std::map<std::string, std::u16string>();
    env.vars->clear();
    env.user = name_answer{true, u"alice"};
    env.computer = name_answer{true, u"build-host"};
    env.locale = name_answer{true, u"en-US"};
    env.processes = 7;
    if (env.locale_requests == nullptr)
        env.locale_requests = new std::vector<uint32_t>();
    env.locale_requests->clear();
    if (env.open == nullptr)
        env.open = new std::vector<snapshot *>();
    for (snapshot *s : *env.open)
        delete s;
    env.open->clear();
}

fake_registrar registrar(reset_env);

void set_answer(name_answer *a, const char *utf8)
{
    a->ok = utf8 != nullptr;
    a->text = utf8 != nullptr ? fake_u16(utf8) : std::u16string();
}

/* Copies with the size protocol the account and computer-name calls share:
 * length in and out, failure when the text and its NUL do not fit. */
int answer_into(const name_answer &a, fake_op op, char16_t *buffer, uint32_t *length)
{
    if (fake_hit(op) || !a.ok)
        return 0;
    if (*length < a.text.size() + 1) {
        *length = (uint32_t)a.text.size() + 1;
        return 0;
    }
    memcpy(buffer, a.text.c_str(), (a.text.size() + 1) * 2);
    *length = (uint32_t)a.text.size();
    return 1;
}

snapshot *find_open(hl_handle_t h)
{
    for (snapshot *s : *env.open)
        if (s == h)
            return s;
    return nullptr;
}

} // namespace

void fake_env_set(const char *name, const char *utf8_value)
{
    (*env.vars)[name] = fake_u16(utf8_value);
}

void fake_env_set_long(const char *name, size_t units)
{
    (*env.vars)[name] = std::u16string(units, u'x');
}

void fake_env_unset(const char *name)
{
    env.vars->erase(name);
}

void fake_set_user_name(const char *utf8)
{
    set_answer(&env.user, utf8);
}

void fake_set_computer_name(const char *utf8)
{
    set_answer(&env.computer, utf8);
}

void fake_set_locale_name(const char *utf8)
{
    set_answer(&env.locale, utf8);
}

void fake_set_process_count(int processes)
{
    env.processes = processes;
}

uint32_t hl_port_getenv(const char16_t *name, char16_t *buffer, uint32_t length)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_GETENV))
        return 0;
    auto it = env.vars->find(fake_u8(name));
    if (it == env.vars->end() || it->second.empty())
        return 0;
    const std::u16string &v = it->second;
    if (length < v.size() + 1) {
        /* The contents of the buffer are undefined then: scribble on it. */
        for (uint32_t i = 0; i < length; i++)
            buffer[i] = u'?';
        return (uint32_t)v.size() + 1;
    }
    memcpy(buffer, v.c_str(), (v.size() + 1) * 2);
    return (uint32_t)v.size();
}

int hl_port_user_name(char16_t *buffer, uint32_t *length)
{
    FAKE_GUARD;
    return answer_into(env.user, FAKE_USER_NAME, buffer, length);
}

int hl_port_computer_name(char16_t *buffer, uint32_t *length)
{
    FAKE_GUARD;
    return answer_into(env.computer, FAKE_COMPUTER_NAME, buffer, length);
}

const std::vector<uint32_t> &fake_locale_requests()
{
    return *env.locale_requests;
}

int hl_port_locale_name(uint32_t locale, char16_t *buffer, int length)
{
    FAKE_GUARD;
    env.locale_requests->push_back(locale);
    /* Only the system default is scripted; any other locale is not known. */
    if (fake_hit(FAKE_LOCALE_NAME) || !env.locale.ok || locale != HL_LOCALE_SYSTEM_DEFAULT)
        return 0;
    if ((size_t)length < env.locale.text.size() + 1)
        return 0; /* ERROR_INSUFFICIENT_BUFFER */
    memcpy(buffer, env.locale.text.c_str(), (env.locale.text.size() + 1) * 2);
    return (int)env.locale.text.size() + 1;
}

int hl_port_process_snapshot(hl_handle_t *out)
{
    FAKE_GUARD;
    *out = nullptr;
    if (fake_hit(FAKE_PROCESS_SNAPSHOT))
        return 0;
    snapshot *s = new snapshot{0};
    env.open->push_back(s);
    fake_acquire(FAKE_RES_HANDLE);
    *out = s;
    return 1;
}

static int hand_out(hl_handle_t h, fake_op op, bool first)
{
    if (fake_hit(op))
        return 0;
    snapshot *s = find_open(h);
    if (s == nullptr)
        return 0;
    if (first)
        s->next = 0;
    if (s->next >= env.processes)
        return 0; /* ERROR_NO_MORE_FILES */
    s->next++;
    return 1;
}

int hl_port_process_first(hl_handle_t h)
{
    FAKE_GUARD;
    return hand_out(h, FAKE_PROCESS_FIRST, true);
}

int hl_port_process_next(hl_handle_t h)
{
    FAKE_GUARD;
    return hand_out(h, FAKE_PROCESS_NEXT, false);
}

void hl_port_close_handle(hl_handle_t h)
{
    FAKE_GUARD;
    snapshot *s = find_open(h);
    fake_release(FAKE_RES_HANDLE); /* counted as misuse when none is open */
    if (s == nullptr)
        return;
    for (size_t i = 0; i < env.open->size(); i++)
        if ((*env.open)[i] == s) {
            env.open->erase(env.open->begin() + (long)i);
            break;
        }
    delete s;
}
