#!/usr/bin/python3
"""Checks hostlens documents against the schemas in schema/.

usage: validate.py SCHEMA_DIR OUTPUT [--mutate STATE]... -- COMMAND...

Runs COMMAND with OUTPUT appended (in OUTPUT's folder), which writes one line
per document: export name, state, document text (or <NULL>), separated by
tabs. Then:
  - every schema is a valid draft 2020-12 schema, and every document export
    written has one;
  - every document validates, with its members in the schema's order;
  - NULL appears only where memory was refused;
  - for the documents of each --mutate state, each member deleted, renamed,
    given a value of another JSON type, and each object given an extra
    member, must be rejected: a schema that accepted one would let a broken
    document through.
"""
import copy
import json
import os
import subprocess
import sys
from urllib.parse import urldefrag, urljoin

from jsonschema import Draft202012Validator, RefResolver

# Members present only sometimes: the public IP document's "error", written
# when the request failed, and every section of hostlens_collect and of a
# sampler's read, which hold the ones their list names.
OPTIONAL = {("hostlens_public_ip", ("public_ip", "error"))}
SECTIONS_OPTIONAL = {"hostlens_collect", "hostlens_sampler"}
# Members whose text may be empty: a volume without a label.
EMPTY_TEXT = {"label"}
# States in which the platform refuses memory, where NULL is the contract.
NULL_STATES = {"fail:alloc", "fail:realloc"}


def load_schemas(folder):
    store, by_export = {}, {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".schema.json"):
            continue
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            schema = json.load(f)
        Draft202012Validator.check_schema(schema)
        store[schema["$id"]] = schema
        if name != "common.schema.json":
            by_export["hostlens_" + name[: -len(".schema.json")]] = schema
    return store, by_export


def strict_json(text):
    def refuse(token):
        raise ValueError("not JSON: " + token)

    return json.loads(text, parse_constant=refuse)


def resolve(store, base, node):
    """Follows $ref until a schema with its own keywords is reached."""
    while "$ref" in node:
        doc_uri, pointer = urldefrag(urljoin(base, node["$ref"]))
        node, base = store[doc_uri], doc_uri
        for part in [p for p in pointer.split("/") if p]:
            node = node[part]
    return base, node


def order_errors(store, base, schema, value, path):
    """Members in the order of the schema's properties, at every depth."""
    base, schema = resolve(store, base, schema)
    errors = []
    if isinstance(value, dict) and "properties" in schema:
        expected = [k for k in schema["properties"] if k in value]
        if list(value) != expected:
            errors.append("%s: members %s, expected order %s" % (path, list(value), expected))
        for k, v in value.items():
            if k in schema["properties"]:
                errors += order_errors(store, base, schema["properties"][k], v, path + "/" + k)
    elif isinstance(value, list) and "items" in schema:
        for i, v in enumerate(value):
            errors += order_errors(store, base, schema["items"], v, "%s/%d" % (path, i))
    return errors


def wrong_values(value):
    """Values of another JSON type; an integer also gets a fraction, which an
    integer member must refuse. "unknown" may stand in for a number, so it
    only gets values no member takes."""
    if value == "unknown":
        return ["", True, None, [], {}]
    if isinstance(value, bool):
        return [0, "0", None]
    if isinstance(value, int):
        return ["12", True, None, 1.5, [], {}]
    if isinstance(value, float):
        return ["12.5", True, None, []]
    if isinstance(value, str):
        return [12, None, [], {}]
    if isinstance(value, list):
        return [{}, None, "[]"]
    return [[], None, "{}"]


def places(value, path=()):
    """Every member and array element: (path, container, key-or-index)."""
    if isinstance(value, dict):
        for k, v in value.items():
            yield path + (k,), value, k
            yield from places(v, path + (k,))
    elif isinstance(value, list):
        for i, v in enumerate(value):
            yield path + (i,), value, i
            yield from places(v, path + (i,))


def changed(doc, path, change):
    """A deep copy of doc with change(container, key) applied at path."""
    clone = copy.deepcopy(doc)
    container = clone
    for p in path[:-1]:
        container = container[p]
    change(container, path[-1])
    return clone


def rename(container, key):
    members = [(k + "_renamed" if k == key else k, v) for k, v in container.items()]
    container.clear()
    container.update(members)


def shared_sections(store, schema):
    """Top-level members whose schema is another module's whole document
    (its section is a $ref to its own document). That document is broken in
    every way under its own export, so a composite document (the snapshot,
    hostlens_collect, a sampler's read) need not break it again at every
    depth: that was four fifths of the copies, each of the largest size."""
    shared = set()
    for key, prop in schema.get("properties", {}).items():
        ref = prop.get("$ref", "")
        if "#" not in ref or ref.startswith("#"):
            continue
        doc_uri, pointer = urldefrag(urljoin(schema["$id"], ref))
        if pointer == "/$defs/section" and store[doc_uri]["$defs"]["section"].get("$ref") == \
                "#/$defs/document":
            shared.add(key)
    return shared


def mutations(export, doc, shared=frozenset()):
    """(what, broken copy) for every change a schema must refuse."""
    for path, container, key in list(places(doc)):
        if len(path) > 1 and path[0] in shared:
            continue
        name = "/".join(map(str, path))
        for wrong in wrong_values(container[key]):
            if wrong == "" and key in EMPTY_TEXT and "volumes" in path:
                continue
            yield "%s = %s" % (name, json.dumps(wrong)), changed(
                doc, path, lambda c, k, w=wrong: c.__setitem__(k, w))
        if isinstance(key, str):
            optional = (export, path) in OPTIONAL or (export in SECTIONS_OPTIONAL and len(path) == 1)
            if not optional:
                yield name + " deleted", changed(doc, path, lambda c, k: c.__delitem__(k))
            yield name + " renamed", changed(doc, path, rename)
    objects = [()] + [p for p, c, k in places(doc)
                      if isinstance(c[k], dict) and not (p and p[0] in shared)]
    for path in objects:
        yield "/".join(map(str, path)) + " with an extra member", changed(
            doc, path + ("unexpected",), lambda c, k: c.__setitem__(k, 1))


def accepts(v, schema, doc, broken):
    """Whether the schema takes the broken copy. Where the copy differs from
    the valid document in one top-level member only, that member alone is
    validated against its own schema: the root has no rule joining members,
    and the rest was valid. A sampler's read holds every module, so this is
    most of its cost."""
    if list(doc) == list(broken):
        differ = [k for k in doc if doc[k] != broken[k]]
        if len(differ) == 1 and differ[0] in schema.get("properties", {}):
            return v.evolve(schema=schema["properties"][differ[0]]).is_valid(broken[differ[0]])
    return v.is_valid(broken)


def main(argv):
    sep = argv.index("--")
    opts, command = argv[1:sep], argv[sep + 1 :]
    schema_dir, output = opts[0], os.path.abspath(opts[1])
    mutate = {opts[i + 1] for i, o in enumerate(opts) if o == "--mutate"}

    command = [os.path.abspath(c) if os.path.exists(c) else c for c in command]
    subprocess.run(command + [os.path.basename(output)], cwd=os.path.dirname(output), check=True)
    store, by_export = load_schemas(schema_dir)
    validators = {
        e: Draft202012Validator(s, resolver=RefResolver.from_schema(s, store=store))
        for e, s in by_export.items()
    }

    failures, checked, checks = [], 0, 0
    seen = set()
    with open(output, encoding="utf-8") as f:
        lines = [line.rstrip("\r\n").split("\t", 2) for line in f if line.strip()]
    for export, state, text in lines:
        where = "%s [%s]" % (export, state)
        seen.add(export)
        if export not in validators:
            failures.append("%s: no schema" % where)
            continue
        if text == "<NULL>":
            if state not in NULL_STATES:
                failures.append("%s: NULL" % where)
            continue
        try:
            doc = strict_json(text)
        except ValueError as e:
            failures.append("%s: %s" % (where, e))
            continue
        checked += 1
        checks += 1
        v = validators[export]
        failures += ["%s: %s at /%s" % (where, e.message, "/".join(map(str, e.absolute_path)))
                     for e in v.iter_errors(doc)]
        failures += ["%s: %s" % (where, e)
                     for e in order_errors(store, by_export[export]["$id"], by_export[export], doc, "")]
        if state in mutate:
            shared = shared_sections(store, by_export[export])
            for what, broken in mutations(export, doc, shared):
                checks += 1
                if accepts(v, by_export[export], doc, broken):
                    failures.append("%s: accepted with %s" % (where, what))
    for export in sorted(set(validators) - seen):
        failures.append("%s: schema never exercised" % export)

    for f in failures[:200]:
        print(f)
    print("%d documents, %d broken copies" % (checked, checks - checked))
    print("schema: %d passed, %d failed" % (max(checks - len(failures), 0), len(failures)))
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
