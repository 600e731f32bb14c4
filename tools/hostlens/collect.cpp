#include "collect.h"

#include <thread>

#include "hostlens.h"
#include "modules.h"

using json = nlohmann::ordered_json;

namespace
{

/* A document taken on a thread of its own, so that its waits overlap the
 * main collection: the public IP's request, or sections whose cost is
 * mostly waiting on another process (the display stack under Wine). Each
 * thread has its own buffer in the library, so the calls do not disturb
 * each other; the text is copied before the thread ends. */
struct side_call {
    bool null = false;
    std::string text;
};

void keep(const char *t, side_call *r)
{
    r->null = t == nullptr;
    if (t != nullptr)
        r->text = t;
}

int table_index(const std::string &key)
{
    for (int i = 0; i < module_count; i++)
        if (key == modules[i].key)
            return i;
    return module_count;
}

/* `doc` with `key` added before the first member that follows it in the
 * snapshot's order. */
json with_section(const json &doc, const char *key, const json &value)
{
    json out = json::object();
    int at = table_index(key);
    bool placed = false;
    for (auto it = doc.begin(); it != doc.end(); ++it) {
        if (!placed && table_index(it.key()) > at) {
            out[key] = value;
            placed = true;
        }
        out[it.key()] = it.value();
    }
    if (!placed)
        out[key] = value;
    return out;
}

} // namespace

bool collect(const std::string &sections, bool public_ip, collection *out,
             const std::string &beside)
{
    side_call ip, side;
    std::thread worker, side_worker;
    if (public_ip)
        worker = std::thread([&ip] { keep(hostlens_public_ip(), &ip); });
    if (!beside.empty())
        side_worker =
            std::thread([&side, &beside] { keep(hostlens_collect(beside.c_str()), &side); });
    /* An empty list asks the library for nothing here (its own reading of
     * an empty list is every section). */
    const char *text = sections.empty() ? "{}" : hostlens_collect(sections.c_str());
    bool ok = text != nullptr;
    if (ok)
        out->text = text;
    if (worker.joinable())
        worker.join();
    if (side_worker.joinable())
        side_worker.join();
    if (!ok || ip.null || side.null)
        return false;
    out->doc = json::parse(out->text, nullptr, false);
    if (!beside.empty() && out->doc.is_object()) {
        json side_doc = json::parse(side.text, nullptr, false);
        if (side_doc.is_object())
            for (auto it = side_doc.begin(); it != side_doc.end(); ++it)
                if (it.key() != "unknown_modules")
                    out->doc = with_section(out->doc, it.key().c_str(), it.value());
        out->text = out->doc.dump(-1, ' ', false, json::error_handler_t::replace);
    }
    if (!public_ip || !out->doc.is_object())
        return true;

    json ip_doc = json::parse(ip.text, nullptr, false);
    json ip_section =
        ip_doc.is_object() && ip_doc.contains("public_ip") ? ip_doc["public_ip"] : json::object();
    /* The message reaches the caller only as the document's "error" member;
     * the section keeps the snapshot's form, which has none. */
    if (ip_section.is_object() && ip_section.contains("error")) {
        if (ip_section["error"].is_string())
            out->public_ip_error = ip_section["error"].get<std::string>();
        ip_section.erase("error");
    }
    out->doc = with_section(out->doc, "public_ip", ip_section);
    out->text = out->doc.dump(-1, ' ', false, json::error_handler_t::replace);
    return true;
}
