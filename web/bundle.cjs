// Writes OUT/worker-bundle.js: the worker's whole source (the module's
// script, the module itself as base64, worker.js) as one string, from which
// a page opened from file:// starts its worker (a file:// page may start no
// worker from a file, nor fetch the module).
'use strict';
const fs = require('fs');
const path = require('path');

const out = process.argv[2];
const read = (name) => fs.readFileSync(path.join(out, name));
const source = [
  read('unitpeek.js').toString('utf8'),
  `self.UNITPEEK_WASM_BASE64 = '${read('unitpeek.wasm').toString('base64')}';`,
  read('worker.js').toString('utf8'),
].join('\n');
fs.writeFileSync(path.join(out, 'worker-bundle.js'),
                 '// Made by web/bundle.cjs: the worker with its module, for a page opened from file://.\n' +
                 `self.UNITPEEK_WORKER_SOURCE = ${JSON.stringify(source)};\n`);
