// The page: opens units and folders, a tab for each, with the views of the
// desktop viewer (Summary, Declarations, Code, Bytes; for a folder its
// report, its units and Find). The reading happens in the worker
// (worker.js); the page only shows what it answers.
'use strict';

const utf8 = new TextDecoder('utf-8');
const $ = (sel, root = document) => root.querySelector(sel);
function el(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === 'class') e.className = v;
    else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c);
  return e;
}

// ---- the worker ------------------------------------------------------------

function startWorker() {
  if (location.protocol !== 'file:' || typeof UNITPEEK_WORKER_SOURCE === 'undefined') return new Worker('worker.js');
  const blob = new Blob([UNITPEEK_WORKER_SOURCE], {type: 'text/javascript'});
  return new Worker(URL.createObjectURL(blob));
}
const worker = startWorker();
const pending = new Map();
let nextId = 1;
worker.onmessage = (e) => {
  const p = pending.get(e.data.id);
  if (p && e.data.progress) { if (p.onProgress) p.onProgress(...e.data.progress); return; }
  pending.delete(e.data.id);
  if (p) p.resolve(e.data);
};
// onProgress(done, total), when given, hears how far a long request is.
function ask(op, args = {}, transfer = [], onProgress = null) {
  const id = nextId++;
  return new Promise((resolve) => {
    pending.set(id, {resolve, onProgress});
    worker.postMessage({id, op, ...args}, transfer);
  });
}
const text = (r) => (r.bytes ? utf8.decode(r.bytes) : '');

// ---- progress --------------------------------------------------------------

function progress(done, total, what) {
  const box = $('#progress');
  box.hidden = done >= total;
  $('#progress-bar').max = total;
  $('#progress-bar').value = done;
  $('#progress-text').textContent = `${what} ${done} of ${total}`;
}

// ---- a list that draws only the rows in sight ------------------------------

class VirtualRows {
  // count: the rows; draw(i): the element of row i.
  constructor(container, count, draw) {
    this.box = el('div', {class: 'rows', tabindex: '0'});
    this.spacer = el('div', {class: 'spacer'});
    this.layer = el('div', {class: 'layer'});
    this.box.append(this.spacer, this.layer);
    container.append(this.box);
    this.draw = draw;
    this.rowHeight = 18;
    this.setCount(count);
    this.box.addEventListener('scroll', () => this.render());
    new ResizeObserver(() => this.render()).observe(this.box);
  }
  setCount(count) {
    this.count = count;
    this.spacer.style.height = `${count * this.rowHeight}px`;
    this.render(true);
  }
  render(force = false) {
    const first = Math.max(0, Math.floor(this.box.scrollTop / this.rowHeight) - 5);
    const last = Math.min(this.count, first + Math.ceil((this.box.clientHeight || 600) / this.rowHeight) + 10);
    if (!force && first === this.first && last === this.last) return;
    this.first = first;
    this.last = last;
    this.layer.style.transform = `translateY(${first * this.rowHeight}px)`;
    this.layer.replaceChildren();
    for (let i = first; i < last; i++) this.layer.append(this.draw(i));
  }
  scrollTo(i) {
    const top = i * this.rowHeight;
    if (top < this.box.scrollTop || top > this.box.scrollTop + this.box.clientHeight - this.rowHeight)
      this.box.scrollTop = Math.max(0, top - this.box.clientHeight / 3);
    this.render(true);
  }
}

// ---- tabs ------------------------------------------------------------------

const tabs = [];
let current = null;
let tabCounter = 0;

function addTab(tab) {
  tab.button = el('button', {class: 'tab', role: 'tab', title: tab.title, onclick: () => showTab(tab)},
                  tab.label, el('span', {class: 'close', title: 'Close (Alt+W)', onclick: (e) => {
                    e.stopPropagation();
                    closeTab(tab);
                  }}, '×'));
  $('#tabs').append(tab.button);
  $('#pages').append(tab.page);
  tabs.push(tab);
  showTab(tab);
}

function showTab(tab) {
  current = tab;
  $('#welcome').hidden = true;
  for (const t of tabs) {
    t.page.hidden = t !== tab;
    t.button.classList.toggle('active', t === tab);
  }
  document.title = `${tab.label} – UnitPeek`;
}

function closeTab(tab) {
  const i = tabs.indexOf(tab);
  if (i < 0) return;
  tabs.splice(i, 1);
  tab.button.remove();
  tab.page.remove();
  releaseDir(tab.dir);
  if (current === tab) {
    current = null;
    if (tabs.length) showTab(tabs[Math.min(i, tabs.length - 1)]);
    else { $('#welcome').hidden = false; document.title = 'UnitPeek'; }
  }
}

// The tabs that read files of each folder of the worker: a folder's own tab
// and the unit tabs opened from its table share its files, which go once
// the last of them is closed.
const dirUsers = new Map();

function useDir(dir) { dirUsers.set(dir, (dirUsers.get(dir) || 0) + 1); }

function releaseDir(dir) {
  const n = (dirUsers.get(dir) || 1) - 1;
  if (n > 0) { dirUsers.set(dir, n); return; }
  dirUsers.delete(dir);
  ask('remove', {dir});
}

function download(name, bytes, type) {
  const url = URL.createObjectURL(new Blob([bytes], {type}));
  const a = el('a', {href: url, download: name});
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

// ---- a unit's tab ----------------------------------------------------------

const VIEWS = ['Summary', 'Declarations', 'Code', 'Bytes'];

// dir: the unit's folder in the worker; path: its path from there (the
// path the JSON names, as the command line run in dir would).
async function openUnit(dir, path) {
  const name = path.slice(path.lastIndexOf('/') + 1);
  const tab = {kind: 'unit', dir, path, label: name, title: path, views: {}, history: []};
  useDir(dir);
  tab.page = el('section', {class: 'page unit', 'data-path': path});
  tab.switcher = el('div', {class: 'switcher'});
  VIEWS.forEach((v, i) => tab.switcher.append(el('button', {'data-view': v, title: `Alt+${i + 1}`,
                                                            onclick: () => showView(tab, v)}, v)));
  tab.switcher.append(el('span', {class: 'grow'}),
                      el('button', {class: 'save-pas', onclick: () => savePas(tab)}, 'Save as .pas…'),
                      el('button', {class: 'save-json', onclick: () => saveJson(tab)}, 'Save JSON…'));
  tab.body = el('div', {class: 'view-body'});
  tab.page.append(el('div', {class: 'path'}, path), tab.switcher, tab.body);
  addTab(tab);
  const r = await ask('summary', {cwd: dir, path});
  tab.summary = text(r);
  tab.loaded = r.failOffset < 0 && !tab.summary.startsWith('\nError:');
  tab.failOffset = r.failOffset;
  tab.defOffset = r.defOffset;
  tab.summaryMs = r.ms;
  tab.page.dataset.loaded = tab.loaded ? 'yes' : 'no';
  showView(tab, 'Summary');
  return tab;
}

function showView(tab, view) {
  tab.view = view;
  for (const b of tab.switcher.querySelectorAll('[data-view]')) b.classList.toggle('active', b.dataset.view === view);
  for (const [v, node] of Object.entries(tab.views)) node.hidden = v !== view;
  if (!tab.views[view]) {
    const node = el('div', {class: `view view-${view.toLowerCase()}`});
    tab.views[view] = node;
    tab.body.append(node);
    ({Summary: buildSummary, Declarations: buildDecls, Code: buildCode, Bytes: buildBytes})[view](tab, node);
  }
  tab.page.dataset.view = view;
  if (view === 'Bytes' && tab.hexRows && tab.bytesMark) tab.hexRows.scrollTo(Math.floor(tab.bytesMark.offset / 16));
}

function buildSummary(tab, node) {
  const pre = el('pre', {class: 'summary'});
  for (const line of tab.summary.replace(/\n$/, '').split('\n')) {
    const cls = /^\s*\{/.test(line) ? 'comment' : /^(Unit|Interface|Implementation|Uses|Imports|Type|end;|Error:)/.test(line) ? 'bold' : '';
    pre.append(el('span', {class: cls}, line), '\n');
  }
  if (!tab.loaded) pre.classList.add('failed');
  node.append(pre);
  if (!tab.loaded && tab.failOffset >= 0)
    node.append(el('button', {onclick: () => showView(tab, 'Bytes')}, 'Show the place in the Bytes view'));
  node.dataset.ready = 'yes';
}

// A line of runs as elements: [kind, anchor, text, ...] from start.
function runsLine(runs, start, classes, linkKinds, onLink, isLink = () => true) {
  const div = el('div', {class: 'line'});
  for (let i = start; i < runs.length; i += 3) {
    const [k, a, t] = [runs[i], runs[i + 1], runs[i + 2]];
    const span = el('span', {class: classes[k] || ''}, t);
    if (a >= 0 && linkKinds.includes(k) && isLink(k)) {
      span.classList.add('link');
      span.addEventListener('click', () => onLink(k, a));
    }
    div.append(span);
  }
  return div;
}

const DECL_CLASSES = ['', 'kw', 'comment', 'def', 'typeref'];
// A routine's own line (not a method's in its class): its name is a link.
const ROUTINE_LINE = /^(class\s+)?(procedure|function|constructor|destructor)\s/;

// The code of the routine declared at anchor, in the Code view.
async function goCode(tab, anchor) {
  tab.history.push(placeOf(tab));
  showView(tab, 'Code');
  while (!tab.routineAt && tab.views.Code.dataset.ready !== 'yes') await new Promise((r) => setTimeout(r, 20));
  if (tab.routineAt && tab.routineAt.has(anchor)) await showRoutine(tab, tab.routineAt.get(anchor), false);
}

async function buildDecls(tab, node) {
  const r = await ask('decls', {cwd: tab.dir, path: tab.path});
  if (r.status !== 0) {
    node.append(el('pre', {class: 'failed'}, text(r)));
    node.dataset.ready = 'yes';
    return;
  }
  const lines = JSON.parse(text(r)).lines;
  if (lines.length && lines[lines.length - 1].length === 0) lines.pop();
  tab.declLines = lines;
  tab.declAt = new Map();  // anchor -> line
  lines.forEach((runs, i) => {
    for (let j = 0; j < runs.length; j += 3) if (runs[j] === 3 && !tab.declAt.has(runs[j + 1])) tab.declAt.set(runs[j + 1], i);
  });
  const filter = el('input', {type: 'search', placeholder: 'Filter (Ctrl+F)', class: 'filter'});
  const outline = el('ul', {class: 'outline'});
  const listing = el('div', {class: 'listing'});
  node.append(el('div', {class: 'side'}, filter, outline), listing);
  let matches = [], at = -1, pattern = '';
  const plain = lines.map((runs) => runs.filter((_, j) => j % 3 === 2).join(''));
  tab.declRows = new VirtualRows(listing, lines.length, (i) => {
    // Type names of the unit go to their declaration, the name of a routine
    // to its code.
    const routine = ROUTINE_LINE.test(plain[i]);
    const d = runsLine(lines[i], 0, DECL_CLASSES, [3, 4], (k, a) => (k === 3 ? goCode(tab, a) : goDecl(tab, a, true)),
                       (k) => k === 4 || routine);
    if (pattern && plain[i].toLowerCase().includes(pattern)) d.classList.add('match');
    if (i === tab.declMark) d.classList.add('current');
    return d;
  });
  const entries = outlineEntries(lines, plain);
  const fillOutline = () => {
    outline.replaceChildren();
    for (const e of entries) {
      if (pattern && e.level > 1 && !e.name.toLowerCase().includes(pattern)) continue;
      outline.append(el('li', {class: `level${e.level}`, onclick: () => {
        // The Bytes view marks the tag byte of the declaration chosen.
        if (e.anchor !== undefined && e.anchor >= 0) tab.bytesMark = {offset: e.anchor, size: 1};
        goLine(tab, e.line, true);
      }}, e.name));
    }
  };
  fillOutline();
  filter.addEventListener('input', () => {
    pattern = filter.value.toLowerCase();
    matches = pattern ? plain.flatMap((t, i) => (t.toLowerCase().includes(pattern) ? [i] : [])) : [];
    at = -1;
    fillOutline();
    tab.declRows.render(true);
  });
  filter.addEventListener('keydown', (e) => {
    if (e.key !== 'Enter' && e.key !== 'F3') return;
    if (!matches.length) return;
    at = (at + (e.shiftKey ? matches.length - 1 : 1)) % matches.length;
    goLine(tab, matches[at], false);
    e.preventDefault();
  });
  tab.declFilter = filter;
  node.dataset.ready = 'yes';
}

// Sections, blocks and declarations from the listing: lines that are a
// keyword alone (interface, implementation, type, const, ...), and the
// names the listing's lines declare (members deeper).
function outlineEntries(lines, plain) {
  const out = [];
  lines.forEach((runs, i) => {
    const t = plain[i];
    if (/^(interface|implementation|initialization|finalization)$/.test(t)) out.push({level: 0, name: t, line: i});
    else if (/^(type|const|resourcestring|var|threadvar|label|exports|uses)$/.test(t.trim()) && !/^\s{4}/.test(t))
      out.push({level: 1, name: t.trim(), line: i});
    else {
      for (let j = 0; j < runs.length; j += 3) {
        if (runs[j] !== 3) continue;
        const indent = t.length - t.trimStart().length;
        out.push({level: indent > 2 ? 3 : 2, name: runs[j + 2], line: i, anchor: runs[j + 1]});
        break;
      }
    }
  });
  return out;
}

function goLine(tab, line, remember) {
  if (remember && tab.declMark !== undefined) tab.history.push({view: 'Declarations', line: tab.declMark});
  tab.declMark = line;
  tab.declRows.scrollTo(line);
}

async function goDecl(tab, anchor, remember) {
  if (tab.view !== 'Declarations') {
    if (remember) tab.history.push(placeOf(tab));
    remember = false;
    showView(tab, 'Declarations');
  }
  while (!tab.declRows) await new Promise((r) => setTimeout(r, 20));
  const line = tab.declAt.get(anchor);
  if (line !== undefined) goLine(tab, line, remember);
}

function placeOf(tab) {
  if (tab.view === 'Code') return {view: 'Code', routine: tab.routine};
  if (tab.view === 'Declarations') return {view: 'Declarations', line: tab.declMark};
  return {view: tab.view};
}

function goBack(tab) {
  const p = tab.history.pop();
  if (!p) return;
  showView(tab, p.view);
  if (p.view === 'Declarations' && p.line !== undefined && tab.declRows) { tab.declMark = p.line; tab.declRows.scrollTo(p.line); }
  if (p.view === 'Code' && p.routine !== undefined) showRoutine(tab, p.routine, false);
}

// ---- the Code view ---------------------------------------------------------

const CODE_CLASSES = ['', 'heading', 'label', 'marker', 'source', 'offset', 'bytes', 'labelref', 'routineref',
                      'declref', 'importref', 'unresolved'];

async function buildCode(tab, node) {
  const r = await ask('codeOpen', {cwd: tab.dir, path: tab.path});
  if (r.status !== 0) {
    node.append(el('pre', {class: 'failed'}, text(r)));
    node.dataset.ready = 'yes';
    return;
  }
  const heads = JSON.parse(text(r));
  tab.routines = heads.routines;
  tab.routineAt = new Map(tab.routines.map((h, i) => [h.decl, i]));
  const find = el('input', {type: 'search', placeholder: 'Find (Ctrl+F)', class: 'filter'});
  const list = el('ul', {class: 'outline routines'});
  const listing = el('div', {class: 'listing'});
  if (!heads.disassembled) node.append(el('p', {class: 'note'}, 'The machine code of this format version is not known: its pieces are shown as data.'));
  node.append(el('div', {class: 'side'}, find, list), listing);
  tab.routineItems = tab.routines.map((h, i) => {
    const li = el('li', {class: h.role === 'nested' ? 'level3' : 'level2', onclick: () => showRoutine(tab, i, true)}, h.name);
    list.append(li);
    return li;
  });
  tab.codeLines = [];
  tab.codeRows = new VirtualRows(listing, 0, (i) => {
    const line = tab.codeLines[i];
    const d = runsLine(line, 2, CODE_CLASSES, [7, 8, 9], (k, a) => followCode(tab, k, a));
    if (tab.codeFind && d.textContent.toLowerCase().includes(tab.codeFind)) d.classList.add('match');
    if (line[0] >= 0) d.addEventListener('click', () => { tab.bytesMark = {offset: line[0], size: line[1]}; });
    return d;
  });
  find.addEventListener('input', () => { tab.codeFind = find.value.toLowerCase(); tab.codeRows.render(true); });
  find.addEventListener('keydown', (e) => {
    if (e.key === 'Enter' || e.key === 'F3') { findInCode(tab, e.shiftKey ? -1 : 1); e.preventDefault(); }
  });
  tab.codeFindBox = find;
  if (tab.routines.length) await showRoutine(tab, 0, false);
  node.dataset.ready = 'yes';
}

async function showRoutine(tab, index, remember) {
  if (remember && tab.routine !== undefined) tab.history.push({view: 'Code', routine: tab.routine});
  if (tab.view !== 'Code') showView(tab, 'Code');
  tab.routine = index;
  const t0 = performance.now();
  const r = await ask('codeRoutine', {cwd: tab.dir, path: tab.path, index});
  const lines = JSON.parse(text(r)).lines;
  if (lines.length && lines[lines.length - 1].length === 2) lines.pop();
  tab.codeLines = lines;
  tab.codeRows.box.scrollTop = 0;
  tab.codeRows.setCount(lines.length);
  tab.routineItems.forEach((li, i) => li.classList.toggle('current', i === index));
  tab.lastRoutineMs = performance.now() - t0;
}

function followCode(tab, kind, anchor) {
  if (kind === 7) {  // a label: the line where it stands
    const i = tab.codeLines.findIndex((l) => l[2] === 2 && l[3] === anchor);
    if (i >= 0) tab.codeRows.scrollTo(i);
  } else if (kind === 8 && tab.routineAt.has(anchor)) {
    showRoutine(tab, tab.routineAt.get(anchor), true);
  } else {
    goDecl(tab, anchor, true);
  }
}

async function findInCode(tab, step) {
  const needle = tab.codeFind;
  if (!needle) return;
  const n = tab.routines.length;
  for (let k = 1; k <= n; k++) {
    const i = (tab.routine + step * k + n * k) % n;
    const r = await ask('codeRoutine', {cwd: tab.dir, path: tab.path, index: i});
    if (text(r).toLowerCase().includes(needle)) { await showRoutine(tab, i, true); return; }
  }
}

// ---- the Bytes view --------------------------------------------------------

async function buildBytes(tab, node) {
  if (!tab.bytes) tab.bytes = (await ask('bytes', {path: `${tab.dir}/${tab.path}`})).bytes;
  const bytes = tab.bytes;
  const go = el('input', {type: 'text', placeholder: 'Go to offset (Ctrl+G): 0x1A3, $1A3, 419', class: 'goto'});
  const info = el('span', {class: 'info'});
  const box = el('div', {class: 'listing hex'});
  node.append(el('div', {class: 'hexbar'}, go, info), box);
  const rows = Math.ceil(bytes.length / 16);
  const marks = () => {
    if (!tab.loaded && tab.failOffset >= 0) return {fail: tab.failOffset, def: tab.defOffset};
    return tab.bytesMark ? {from: tab.bytesMark.offset, to: tab.bytesMark.offset + tab.bytesMark.size} : {};
  };
  tab.hexRows = new VirtualRows(box, rows, (r) => {
    const m = marks();
    const d = el('div', {class: 'line'});
    d.append(el('span', {class: 'offset'}, (r * 16).toString(16).toUpperCase().padStart(8, '0') + '  '));
    let chars = '';
    for (let c = 0; c < 16; c++) {
      const o = r * 16 + c;
      if (o >= bytes.length) { d.append('   '); continue; }
      const b = bytes[o];
      const s = el('span', {}, b.toString(16).toUpperCase().padStart(2, '0'));
      if (o === m.fail) s.className = 'fail';
      else if (o === m.def) s.className = 'def';
      else if (o >= m.from && o < m.to) s.className = 'sel';
      d.append(s, c === 7 ? '  ' : ' ');
      chars += b >= 0x20 && b < 0x7F ? String.fromCharCode(b) : '.';
    }
    d.append(' ', el('span', {class: 'chars'}, chars));
    return d;
  });
  if (!tab.loaded && tab.failOffset >= 0) {
    info.textContent = `Reading stopped at 0x${tab.failOffset.toString(16).toUpperCase()}` +
      (tab.defOffset >= 0 ? `; the tag byte read last at 0x${tab.defOffset.toString(16).toUpperCase()}` : '');
    info.classList.add('failed');
    tab.hexRows.scrollTo(Math.floor(tab.failOffset / 16));
  } else if (tab.bytesMark) {
    tab.hexRows.scrollTo(Math.floor(tab.bytesMark.offset / 16));
  }
  go.addEventListener('keydown', (e) => {
    if (e.key !== 'Enter') return;
    const t = go.value.trim();
    const v = /^(0x|\$)/i.test(t) ? parseInt(t.replace(/^(0x|\$)/i, ''), 16) : parseInt(t, 10);
    if (Number.isFinite(v) && v >= 0 && v < bytes.length) tab.hexRows.scrollTo(Math.floor(v / 16));
  });
  tab.gotoBox = go;
  node.dataset.ready = 'yes';
}

async function savePas(tab) {
  const r = await ask('pas', {cwd: tab.dir, path: tab.path});
  if (r.status !== 0) { alert(text(r).trim()); return; }
  const unit = (text(r).match(/^unit\s+([^;\s]+)/im) || [null, tab.label.replace(/\.dcu$/i, '')])[1];
  download(`${unit}.pas`, r.bytes, 'text/plain');
}

async function saveJson(tab) {
  const r = await ask('json', {cwd: tab.dir, path: tab.path});
  download(tab.label.replace(/\.dcu$/i, '') + '.json', r.bytes, 'application/json');
}

// ---- a folder's tab --------------------------------------------------------

async function openFolder(dir, root, count) {
  const tab = {kind: 'folder', dir, path: root, label: root + '/', title: root};
  useDir(dir);
  tab.page = el('section', {class: 'page folder', 'data-path': root});
  addTab(tab);
  tab.page.append(el('p', {class: 'note'}, `Reading ${count} files…`));
  const t0 = performance.now();
  const both = await ask('reportSteps', {cwd: dir, path: root}, [], (done, total) => progress(done, total, 'Reading units'));
  tab.reportMs = both.ms;
  tab.reportAllMs = performance.now() - t0;
  const nul = both.bytes.indexOf(0);
  tab.reportText = utf8.decode(both.bytes.subarray(0, nul));
  const report = JSON.parse(utf8.decode(both.bytes.subarray(nul + 1)));
  tab.page.replaceChildren();
  const findBox = el('input', {type: 'search', placeholder: 'Find declarations and units: TForm*, *Click, SysUtils', class: 'filter'});
  const findOut = el('pre', {class: 'find-result'});
  findBox.addEventListener('keydown', async (e) => {
    if (e.key !== 'Enter' || !findBox.value.trim()) return;
    const r = await ask('find', {cwd: dir, path: root, pattern: findBox.value.trim(), json: false});
    findOut.textContent = text(r) || 'Nothing found.';
  });
  tab.findBox = findBox;
  tab.page.append(el('h2', {}, 'Findings'), el('pre', {class: 'report'}, findingsOf(tab.reportText)),
                  el('h2', {}, 'Units'), unitsTable(tab, report),
                  el('h2', {}, 'Find'), findBox, findOut);
  tab.page.dataset.ready = 'yes';
  return tab;
}

// The report's text below its table: the count and the findings by kind.
function findingsOf(reportText) {
  const i = reportText.indexOf('\n\n');
  return i >= 0 ? reportText.slice(i + 2) : reportText;
}

// The PROBLEMS column of the report's text table, by file.
function problemsByPath(reportText) {
  const out = new Map();
  const table = reportText.slice(0, Math.max(0, reportText.indexOf('\n\n'))).split('\n').slice(1);
  for (const row of table) {
    const cols = row.split(/\s{2,}/);
    if (cols.length >= 5) out.set(cols[0], cols.slice(4).join('  '));
  }
  return out;
}

function unitsTable(tab, report) {
  const problemsOf = problemsByPath(tab.reportText);
  const table = el('table', {class: 'units'});
  table.append(el('tr', {}, ...['File', 'Unit', 'Version', 'Debug', 'Problems'].map((h) => el('th', {}, h))));
  for (const u of report.units || []) {
    const problems = problemsOf.get(u.path) || (u.ok ? '' : 'not loaded');
    const row = el('tr', {class: u.ok ? '' : 'failed', title: u.error || ''},
                   el('td', {}, el('a', {href: '#', onclick: (e) => { e.preventDefault(); openUnit(tab.dir, u.path); }}, u.path)),
                   el('td', {}, u.unit || ''), el('td', {}, String(u.version ?? '')), el('td', {}, u.debugInfo ? 'yes' : 'no'),
                   el('td', {}, problems));
    table.append(row);
  }
  return table;
}

// ---- opening files ---------------------------------------------------------

// Hands the files to the worker, read in batches and sent a batch a message.
async function putFiles(dir, files, what) {
  let done = 0;
  progress(0, files.length, what);
  for (let i = 0; i < files.length; i += 64) {
    const batch = files.slice(i, i + 64);
    const datas = await Promise.all(batch.map(({file}) => file.arrayBuffer()));
    const paths = batch.map(({path}) => `${dir}/${path}`);
    await ask('putMany', {paths, datas}, datas);
    done += batch.length;
    progress(done, files.length, what);
  }
}

async function openFiles(fileList) {
  const files = [...fileList];
  const opened = [];
  for (const file of files) {
    const dir = `/w/${++tabCounter}`;
    await putFiles(dir, [{path: file.name, file}], 'Reading');
    opened.push(await openUnit(dir, file.name));
  }
  return opened;
}

// Files of a folder with their paths from the folder's parent ("root/a/b.dcu").
async function openFolderFiles(files) {
  if (!files.length) return null;
  const root = files[0].path.split('/')[0];
  const dir = `/w/${++tabCounter}`;
  await putFiles(dir, files, 'Copying');
  return openFolder(dir, root, files.length);
}

async function entryFiles(entry, prefix, out) {
  if (entry.isFile) {
    const file = await new Promise((res, rej) => entry.file(res, rej));
    out.push({path: prefix + entry.name, file});
  } else if (entry.isDirectory) {
    const reader = entry.createReader();
    for (;;) {
      const batch = await new Promise((res, rej) => reader.readEntries(res, rej));
      if (!batch.length) break;
      for (const e of batch) await entryFiles(e, `${prefix}${entry.name}/`, out);
    }
  }
}

async function onDrop(e) {
  e.preventDefault();
  document.body.classList.remove('dragging');
  const items = [...e.dataTransfer.items].map((i) => i.webkitGetAsEntry && i.webkitGetAsEntry()).filter(Boolean);
  const plain = [];
  for (const entry of items) {
    if (entry.isDirectory) {
      const files = [];
      await entryFiles(entry, '', files);
      await openFolderFiles(files);
    } else {
      plain.push(await new Promise((res, rej) => entry.file(res, rej)));
    }
  }
  if (!items.length) plain.push(...e.dataTransfer.files);
  if (plain.length) await openFiles(plain);
}

$('#open-files').addEventListener('change', async (e) => { await openFiles(e.target.files); e.target.value = ''; });
$('#open-folder').addEventListener('change', async (e) => {
  const files = [...e.target.files].map((f) => ({path: f.webkitRelativePath || f.name, file: f}));
  e.target.value = '';
  await openFolderFiles(files);
});
window.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dragging'); });
window.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
window.addEventListener('drop', onDrop);

// ---- keys ------------------------------------------------------------------

window.addEventListener('keydown', (e) => {
  const tab = current;
  if (!tab) return;
  if (e.altKey && e.key >= '1' && e.key <= '4' && tab.kind === 'unit') { showView(tab, VIEWS[e.key - 1]); e.preventDefault(); }
  else if (e.altKey && e.key === 'ArrowLeft' && tab.kind === 'unit') { goBack(tab); e.preventDefault(); }
  else if (e.altKey && (e.key === 'w' || e.key === 'W')) { closeTab(tab); e.preventDefault(); }
  else if (e.ctrlKey && (e.key === 'f' || e.key === 'F')) {
    const box = tab.kind === 'folder' ? tab.findBox : tab.view === 'Code' ? tab.codeFindBox : tab.declFilter;
    if (box) { box.focus(); e.preventDefault(); }
  } else if (e.ctrlKey && (e.key === 'g' || e.key === 'G') && tab.gotoBox && tab.view === 'Bytes') { tab.gotoBox.focus(); e.preventDefault(); }
});

// For the tests and the benchmark: open files given as bytes.
window.unitpeek = {
  async openBytes(name, bytes) { return openFiles([new File([bytes], name)]); },
  async openFolderBytes(entries) { return openFolderFiles(entries.map(([path, bytes]) => ({path, file: new File([bytes], path.split('/').pop())}))); },
  tabs, ask, showView, text: (r) => text(r),
};
