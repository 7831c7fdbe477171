// The page's worker: holds the module, keeps the opened files in its file
// system and answers the page's requests, so that reading never blocks the
// page. Loaded as worker.js beside unitpeek.js and unitpeek.wasm, or from
// the page's bundle (worker-bundle.js) where a file:// page can start no
// worker from a file.
'use strict';

if (typeof UnitPeekModule === 'undefined') importScripts('unitpeek.js');

const WARM_UP_ROUNDS = 20;

// Once loaded, the module reports a small synthetic folder a few times
// (up_warm_up) before it answers: the browser compiles the module's code
// then, not during the user's first folder.
const ready = UnitPeekModule(self.UNITPEEK_WASM_BASE64 ? {wasmBinary: decodeBase64(self.UNITPEEK_WASM_BASE64)} : {})
  .then((M) => {
    const t0 = performance.now();
    M._up_warm_up(WARM_UP_ROUNDS);
    warmUpMs = performance.now() - t0;
    return M;
  });
let warmUpMs = 0;  // how long the warm-up took

function decodeBase64(text) {
  const bin = atob(text);
  const bytes = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
  return bytes;
}

// The answer of the last call, copied out of the module's memory.
function result(M) {
  const p = M._up_result(), n = M._up_result_size();
  return M.HEAPU8.slice(p, p + n);
}

function call(M, fn, cwd, args) {
  if (cwd) M.FS.chdir(cwd);
  const types = args.map((a) => (typeof a === 'number' ? 'number' : 'string'));
  const t0 = performance.now();
  const status = M.ccall(fn, 'number', types, args);
  return {status, bytes: result(M), failOffset: M._up_fail_offset(), defOffset: M._up_def_offset(),
          ms: performance.now() - t0};
}

function removeTree(M, dir) {
  let names = [];
  try { names = M.FS.readdir(dir); } catch (e) { return; }
  for (const n of names) {
    if (n === '.' || n === '..') continue;
    const p = dir + '/' + n;
    if (M.FS.isDir(M.FS.stat(p).mode)) removeTree(M, p); else M.FS.unlink(p);
  }
  M.FS.rmdir(dir);
}

let kept = null;  // the unit the module keeps for its Code view

const ops = {
  put(M, m) {
    M.FS.mkdirTree(m.path.slice(0, m.path.lastIndexOf('/')));
    M.FS.writeFile(m.path, new Uint8Array(m.data));
    return {status: 0};
  },
  putMany(M, m) {
    m.paths.forEach((path, i) => ops.put(M, {path, data: m.datas[i]}));
    return {status: 0};
  },
  bytes(M, m) { return {status: 0, bytes: M.FS.readFile(m.path)}; },
  remove(M, m) {
    M.FS.chdir('/');
    if (kept && kept.startsWith(m.dir + '/')) { M._up_code_close(); kept = null; }
    removeTree(M, m.dir);
    return {status: 0};
  },
  summary: (M, m) => call(M, 'up_summary', m.cwd, [m.path]),
  json: (M, m) => call(M, 'up_json', m.cwd, [m.path]),
  decls: (M, m) => call(M, 'up_decls', m.cwd, [m.path]),
  pas: (M, m) => call(M, 'up_pas', m.cwd, [m.path]),
  codeOpen(M, m) {
    kept = `${m.cwd}/${m.path}`;
    return call(M, 'up_code_open', m.cwd, [m.path]);
  },
  // The module keeps one unit for the Code view: another tab's is opened
  // again first.
  codeRoutine(M, m) {
    if (kept !== `${m.cwd}/${m.path}`) ops.codeOpen(M, m);
    return call(M, 'up_code_routine', null, [m.index]);
  },
  codeText: (M, m) => call(M, 'up_code_text', m.cwd, [m.path]),
  report: (M, m) => call(M, 'up_report', m.cwd, [m.path, m.json ? 1 : 0]),
  reportBoth: (M, m) => call(M, 'up_report_both', m.cwd, [m.path]),
  // The same in steps of a few units, each step's progress told.
  reportSteps(M, m) {
    if (m.cwd) M.FS.chdir(m.cwd);
    const t0 = performance.now();
    const total = M.ccall('up_scan_begin', 'number', ['string'], [m.path]);
    for (let done = 0; done < total;) {
      const now = M._up_scan_step(8);
      if (now <= done) break;  // nothing more to read
      done = now;
      self.postMessage({id: m.id, progress: [done, total]});
    }
    const status = M._up_scan_end();
    return {status, bytes: result(M), failOffset: -1, defOffset: -1, ms: performance.now() - t0};
  },
  find: (M, m) => call(M, 'up_find', m.cwd, [m.pattern, m.path, m.json ? 1 : 0]),
  warmUp: () => ({status: 0, ms: warmUpMs}),
};

self.onmessage = async (e) => {
  const m = e.data;
  const M = await ready;
  let reply;
  try {
    reply = ops[m.op](M, m);
  } catch (err) {
    reply = {status: -1, error: String(err && err.message || err)};
  }
  reply.id = m.id;
  const transfer = reply.bytes ? [reply.bytes.buffer] : [];
  self.postMessage(reply, transfer);
};
