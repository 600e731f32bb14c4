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
