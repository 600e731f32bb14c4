'use strict';
// Calls every export of hostlens.dll and checks each document against its
// JSON Schema, a sampler's reads included.
//
// usage: node check.js [path\to\hostlens.dll] [path\to\schema folder]
// (defaults: hostlens.dll in the current folder, and the repository's
// schema folder; an installed tree has the schemas in share\hostlens\schema)

const fs = require('node:fs');
const path = require('node:path');
const Ajv2020 = require('ajv/dist/2020');
const hostlens = require('./hostlens');

const dll = path.resolve(process.argv[2] ?? 'hostlens.dll');
const schemaDir = path.resolve(process.argv[3] ?? path.join(__dirname, '..', '..', 'schema'));

const ajv = new Ajv2020({ allErrors: true });
for (const file of fs.readdirSync(schemaDir).filter((f) => f.endsWith('.schema.json')))
  ajv.addSchema(JSON.parse(fs.readFileSync(path.join(schemaDir, file), 'utf8')), file);

let passed = 0;
let failed = 0;
function check(what, ok, detail) {
  if (ok) {
    passed++;
    console.log(`ok    ${what}`);
  } else {
    failed++;
    console.log(`FAIL  ${what}: ${detail}`);
  }
}

const lens = hostlens.load(dll);

const version = lens.version();
check('hostlens_version', /^\d+\.\d+\.\d+$/.test(version), version);

for (const name of hostlens.DOCUMENTS) {
  let doc;
  try {
    doc = lens[name]();
  } catch (e) {
    check(`hostlens_${name}`, false, e.message);
    continue;
  }
  const validate = ajv.getSchema(`${name}.schema.json`);
  check(`hostlens_${name}`, validate(doc), ajv.errorsText(validate.errors));
  // Every document call leaves the thread's error slot empty; a failure shows
  // only as the public IP document's "error" member.
  check(`hostlens_last_error after hostlens_${name}`, lens.lastError() === '', lens.lastError());
}

const collected = lens.collect('memory, cpu,nonsense');
check('hostlens_collect', ajv.getSchema('collect.schema.json')(collected) &&
  Object.keys(collected).join() === 'cpu,memory,unknown_modules' &&
  collected.unknown_modules.join() === 'nonsense', JSON.stringify(collected).slice(0, 200));
const everything = lens.collect(null);
check('hostlens_collect(null)', ajv.getSchema('collect.schema.json')(everything) &&
  !('public_ip' in everything) && 'os' in everything, Object.keys(everything).join());

// A sampler: two reads, the second with rates since the first.
const sampler = lens.openSampler();
const validSample = ajv.getSchema('sampler.schema.json');
const first = sampler.read(null);
const sampled = sampler.read('processes:2, memory,public_ip');
sampler.close();
check('hostlens_sampler_read', validSample(first) && validSample(sampled) &&
  Object.keys(first).join() === 'interval_s,cpu,net_io,disk_io,processes' &&
  Object.keys(sampled).join() === 'interval_s,processes,memory,refused_modules' &&
  sampled.processes.length <= 2, ajv.errorsText(validSample.errors));

const fallback = lens.logo(null);
check('hostlens_logo', typeof fallback === 'string' && fallback.length > 0 &&
  lens.logo('generic') === fallback &&
  ['windows', 'linux', 'zephrion'].every((n) => lens.logo(n) !== fallback), 'a logo is missing');

// Reading a document: a number the library cannot determine is "unknown".
const memory = lens.memory().memory;
const mib = (v) => (v === 'unknown' ? 'unknown' : `${v} MiB`);
console.log(`hostlens ${version}: memory ${mib(memory.used_mb)} used of ${mib(memory.total_mb)}`);

lens.unload();
console.log(`${passed} passed, ${failed} failed`);
process.exitCode = failed === 0 ? 0 : 1;
