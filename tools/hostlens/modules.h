/*
 * The modules the program knows: the name on the command line, the section
 * key in the library's documents, and the export of the module's own
 * document. The table is in the library's order: the snapshot's sections,
 * then the modules that have no export of their own and are reached through
 * hostlens_collect by name.
 */
#ifndef HOSTLENS_TOOL_MODULES_H
#define HOSTLENS_TOOL_MODULES_H

#include <string>
#include <vector>

typedef const char *(*doc_fn)(void);

struct module_entry {
    const char *name; /* as given on the command line */
    const char *key;  /* the document's key, and the section key */
    doc_fn fn;        /* NULL: not a snapshot section, collected by name only */
};

extern const module_entry modules[];
extern const int module_count;

/* The module of that name or document key, or NULL. */
const module_entry *find_module(const char *name);

/* The module's own document: its export's, or hostlens_collect's with its
 * name alone, which has the same form. */
const char *module_document(const module_entry *m);

/* The comma-separated section keys of these modules, in the order given. */
std::string section_list(const std::vector<const module_entry *> &wanted);

#endif
