'use strict';
// A binding of hostlens.dll for Node.js, through the koffi FFI package.

const koffi = require('koffi');

// The exports that take no argument and return a JSON document, by name
// without the "hostlens_" prefix.
const DOCUMENTS = [
  'battery', 'boot_time', 'cpu', 'cpu_temp', 'desktop_environment', 'disk', 'get_all', 'gpu',
  'host', 'kernel', 'locale', 'memory', 'network', 'os', 'packages', 'process_count',
  'public_ip', 'resolution', 'shell', 'swap', 'terminal', 'terminal_font', 'uptime', 'user',
  'window_manager',
];

// The sampler's handle, a type the library keeps to itself: JavaScript only
// holds the pointer and hands it back.
koffi.opaque('hostlens_sampler');

// Loads the DLL from a full path and returns one function per export. A
// document function returns the parsed document.
function load(dllPath) {
  const lib = koffi.load(dllPath);
  // With "const char *" as the result type, koffi copies the library's UTF-8
  // text into a JavaScript string during the call. That matters: the text
  // belongs to the library and is valid only until the calling thread's next
  // call, so a binding must never keep the pointer itself.
  const text = (name) => lib.func(`const char *hostlens_${name}(void)`);
  const binding = {
    version: text('version'),
    lastError: text('last_error'),
    logo: lib.func('const char *hostlens_logo(const char *name)'),
    // The modules named in `list` ("cpu,memory"; null for every one but the
    // public IP), collected in one pass.
    collect: (() => {
      const call = lib.func('const char *hostlens_collect(const char *modules)');
      return (list) => {
        const doc = call(list ?? null);
        if (doc === null)
          throw new Error('hostlens_collect: out of memory');
        return JSON.parse(doc);
      };
    })(),
    // A sampler, for a host that polls: each read(list) gives rates since the
    // previous read ("cpu,net_io,disk_io,processes" for a null list), without
    // a sleep. Close it when done; read and close must not be called after
    // close. The text is copied during the call, as for the documents.
    openSampler: (() => {
      const open = lib.func('hostlens_sampler *hostlens_sampler_open(void)');
      const read = lib.func(
        'const char *hostlens_sampler_read(hostlens_sampler *sampler, const char *modules)');
      const close = lib.func('void hostlens_sampler_close(hostlens_sampler *sampler)');
      return () => {
        let handle = open();
        if (handle === null)
          throw new Error('hostlens_sampler_open: out of memory');
        return {
          read: (list) => {
            if (handle === null)
              throw new Error('hostlens sampler: read after close');
            const doc = read(handle, list ?? null);
            if (doc === null)
              throw new Error('hostlens_sampler_read: out of memory');
            return JSON.parse(doc);
          },
          close: () => {
            close(handle);
            handle = null;
          },
        };
      };
    })(),
    unload: () => lib.unload(),
  };
  for (const name of DOCUMENTS) {
    const call = text(name);
    binding[name] = () => {
      const doc = call();
      // NULL (null here) means the library could not get memory.
      if (doc === null)
        throw new Error(`hostlens_${name}: out of memory`);
      return JSON.parse(doc);
    };
  }
  return binding;
}

module.exports = { load, DOCUMENTS };
