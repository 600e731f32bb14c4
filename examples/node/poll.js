'use strict';
// Polls hostlens.dll through a sampler and prints one line a second: the CPU's
// usage, the received and sent bytes per second of the busiest interface, and
// the busiest process. No call sleeps: each read gives the rates since the
// previous one.
//
// usage: node poll.js [LINES] [path\to\hostlens.dll]
// (LINES: how many lines to print, every second until Ctrl+C without it;
// the DLL defaults to hostlens.dll in the current folder)

const path = require('node:path');

const lines = process.argv[2] !== undefined ? Number(process.argv[2]) : Infinity;
if (!(lines === Infinity || (Number.isInteger(lines) && lines > 0))) {
  console.error('usage: node poll.js [LINES] [path\\to\\hostlens.dll] (LINES: a whole number from 1)');
  process.exit(2);
}
const dll = path.resolve(process.argv[3] ?? 'hostlens.dll');
const hostlens = require('./hostlens');

// A rate the sampler cannot give (the first read of a new interface, a
// counter that was reset) is "unknown".
const known = (v) => (typeof v === 'number' ? v : 0);
function bytes(v) {
  if (v === 'unknown')
    return '?';
  const units = ['B', 'KiB', 'MiB', 'GiB'];
  let i = 0;
  for (; v >= 1024 && i < units.length - 1; i++)
    v /= 1024;
  return `${v.toFixed(i === 0 ? 0 : 1)} ${units[i]}`;
}
const percent = (v) => (v === 'unknown' ? '?' : `${v.toFixed(1)}%`);

function line(doc) {
  const busiest = doc.net_io.reduce((a, b) =>
    known(b.rx_bytes_per_s) + known(b.tx_bytes_per_s) >
    known(a.rx_bytes_per_s) + known(a.tx_bytes_per_s) ? b : a, doc.net_io[0]);
  const net = busiest === undefined ? 'no interface'
    : `${busiest.name} rx ${bytes(busiest.rx_bytes_per_s)}/s tx ${bytes(busiest.tx_bytes_per_s)}/s`;
  const top = doc.processes[0];
  const proc = top === undefined ? 'no process' : `${top.name} ${percent(top.cpu_percent)}`;
  return `cpu ${percent(doc.cpu.usage_percent)} | ${net} | top ${proc}`;
}

const lens = hostlens.load(dll);
const sampler = lens.openSampler();
let printed = 0;
const timer = setInterval(() => {
  console.log(line(sampler.read('cpu,net_io,processes:1')));
  if (++printed >= lines) {
    clearInterval(timer);
    sampler.close();
    lens.unload();
  }
}, 1000);
