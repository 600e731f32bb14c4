/*
 * The module documents the program can print, by name.
 */
#ifndef HOSTLENS_TOOL_MODULES_H
#define HOSTLENS_TOOL_MODULES_H

typedef const char *(*doc_fn)(void);

struct module_entry {
    const char *name; /* as given on the command line */
    const char *key;  /* the document's key */
    doc_fn fn;
};

extern const module_entry modules[];
extern const int module_count;

/* The module of that name or document key, or NULL. */
const module_entry *find_module(const char *name);

#endif
