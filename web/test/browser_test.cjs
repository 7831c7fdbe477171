// The page's tests in a real browser: headless chromium (Debian's) driven by
// puppeteer-core opens build-web/index.html from file:// and
//   - opens every unit of ../shared/corpus with the file picker and holds
//     each Summary text and JSON against unitpeek-dump's, byte for byte;
//   - opens the corpus as a folder and holds the report against --report;
//   - opens a damaged unit: its message, and the Bytes view at the place;
//   - saves a unit's .pas and JSON as downloads (against --pas and --json);
//   - draws every view (a screenshot of each into DOCS);
//   - lets no request leave the page, and breaks no rule of its policy;
//   - serves the page from a local static server once (the worker from a
//     file there) and reads a unit.
// Prints the figures of the budgets ("web:" lines) and "N passed, N failed".
//
// Usage: node browser_test.cjs BUILD_WEB DUMP DOCS
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const http = require('http');
const {spawnSync} = require('child_process');
const puppeteer = require('puppeteer-core');

const [buildWeb, dump, docs] = process.argv.slice(2).map((p) => path.resolve(p));
const corpus = path.resolve(__dirname, '../../../shared/corpus');
const results = {passed: 0, failed: 0};
// The budgets' figures, for scripts/bench.sh: "key value" lines.
const figures = [];
function figure(key, value) { figures.push(`${key} ${value}`); }
function check(ok, what, detail = '') {
  if (ok) results.passed++;
  else { results.failed++; console.log(`FAIL ${what} ${detail}`); }
}
function cli(args, cwd) {
  return spawnSync(dump, args, {cwd, env: {...process.env, LC_ALL: 'C'}, maxBuffer: 1 << 30}).stdout;
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
async function until(page, fn, arg, ms = 60000) {
  await page.waitForFunction(fn, {timeout: ms, polling: 50}, arg);
}

function corpusFiles() {
  const out = [];
  const walk = (d) => {
    for (const e of fs.readdirSync(d, {withFileTypes: true}).sort((a, b) => (a.name < b.name ? -1 : 1))) {
      const p = path.join(d, e.name);
      if (e.isDirectory()) walk(p);
      else if (/\.dcu$/i.test(e.name)) out.push(p);
    }
  };
  walk(corpus);
  return out;
}

async function launch() {
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run', '--window-size=1280,800'],
    defaultViewport: {width: 1280, height: 800},
  });
}

// Every request the page makes: file:// of build-web and blob: only.
function guard(page, allowedPrefix, leaks, policy) {
  page.on('request', (req) => {
    const url = req.url();
    if (url.startsWith(allowedPrefix) || url.startsWith('blob:') || url.startsWith('data:')) req.continue();
    else { leaks.push(url); req.abort(); }
  });
  page.on('console', (m) => { if (/Content Security Policy|Refused to/i.test(m.text())) policy.push(m.text()); });
  page.on('pageerror', (e) => policy.push(`page error: ${e.message}`));
}

async function openPage(browser, url, prefix, leaks, policy) {
  const page = await browser.newPage();
  await page.setRequestInterception(true);
  guard(page, prefix, leaks, policy);
  await page.goto(url);
  await until(page, () => window.unitpeek);
  return page;
}

// Opens files with the file picker; waits for their tabs' summaries.
async function pick(page, selector, files) {
  const before = await page.evaluate(() => unitpeek.tabs.length);
  const input = await page.$(selector);
  await input.uploadFile(...files);
  await until(page, (n) => unitpeek.tabs.length >= n && unitpeek.tabs.slice(-1)[0].summary !== undefined, before + files.length, 600000);
  return before;
}

async function testCorpus(page) {
  const files = corpusFiles();
  if (!files.length) { console.log('skipped: no corpus at ' + corpus); return; }
  const first = await pick(page, '#open-files', files);
  let same = 0, sameJson = 0;
  for (let i = 0; i < files.length; i++) {
    const f = files[i];
    const got = await page.evaluate(async (k) => {
      const t = unitpeek.tabs[k];
      const r = await unitpeek.ask('json', {cwd: t.dir, path: t.path});
      return {summary: t.summary, json: unitpeek.text(r)};
    }, first + i);
    const wantSummary = cli([path.basename(f)], path.dirname(f)).toString('utf8');
    const wantJson = cli(['--json', '--decls', path.basename(f)], path.dirname(f)).toString('utf8');
    if (got.summary === wantSummary) same++; else check(false, 'summary', f);
    if (got.json === wantJson) sameJson++; else check(false, 'json', f);
  }
  check(same === files.length, `summaries ${same}/${files.length} as the command line's`);
  check(sameJson === files.length, `JSON ${sameJson}/${files.length} as the command line's`);
  console.log(`corpus: ${same}/${files.length} summaries and ${sameJson}/${files.length} JSON the same`);
  // Close them again: the later tests start from an empty page.
  await page.evaluate(() => { for (const t of [...unitpeek.tabs]) document.querySelector('.tab.active .close')?.click(); });
}

async function testFolder(page) {
  if (!fs.existsSync(corpus)) return;
  const t0 = Date.now();
  await page.$('#open-folder').then((i) => i.uploadFile(corpus));
  await until(page, () => unitpeek.tabs.some((t) => t.kind === 'folder' && t.page.dataset.ready === 'yes'), null, 600000);
  const ms = Date.now() - t0;
  const got = await page.evaluate(() => {
    const t = unitpeek.tabs.find((x) => x.kind === 'folder');
    const problems = [...t.page.querySelectorAll('table.units tr td:nth-child(5)')].filter((td) => td.textContent).length;
    return {text: t.reportText, ms: t.reportMs, rows: t.page.querySelectorAll('table.units tr').length, problems};
  });
  const want = cli(['--report', path.basename(corpus)], path.dirname(corpus)).toString('utf8');
  check(got.text === want, 'folder report as --report');
  const n = corpusFiles().length;
  check(got.rows === n + 1, `units table ${got.rows - 1} rows of ${n}`);
  const wantProblems = want.slice(0, want.indexOf('\n\n')).split('\n').slice(1).filter((r) => r.split(/\s{2,}/).length >= 5).length;
  check(got.problems === wantProblems && wantProblems > 0, `units table: problems of ${got.problems} units, the report's ${wantProblems}`);
  let nativeMs = Infinity;
  for (let k = 0; k < 5; k++) {
    const t1 = process.hrtime.bigint();
    cli(['--report', path.basename(corpus)], path.dirname(corpus));
    nativeMs = Math.min(nativeMs, Number(process.hrtime.bigint() - t1) / 1e6);
  }
  console.log(`web: report of ${n} units ${got.ms.toFixed(0)} ms in the worker (${ms} ms from the pick), native --report ${nativeMs.toFixed(0)} ms`);
  figure('web_report', `${n} ${got.ms.toFixed(1)} ${ms} ${nativeMs.toFixed(1)}`);
  // The same report again, the module's code now compiled and warm: the
  // least of three.
  const warmMs = await page.evaluate(async () => {
    const t = unitpeek.tabs.find((x) => x.kind === 'folder');
    let best = Infinity;
    for (let k = 0; k < 3; k++) best = Math.min(best, (await unitpeek.ask('reportSteps', {cwd: t.dir, path: t.path})).ms);
    return best;
  });
  const warmUpMs = await page.evaluate(async () => (await unitpeek.ask('warmUp')).ms);
  console.log(`web: the same report again ${warmMs.toFixed(0)} ms in the worker; the module's warm-up at the start ${warmUpMs.toFixed(0)} ms`);
  figure('web_report_warm', `${warmMs.toFixed(1)} ${warmUpMs.toFixed(1)}`);
  await page.type('.folder input.filter', 'TForm1*');
  await page.keyboard.press('Enter');
  await until(page, () => document.querySelector('.find-result').textContent.length > 0);
  const found = await page.$eval('.find-result', (e) => e.textContent);
  const wantFind = cli(['--find', 'TForm1*', path.basename(corpus)], path.dirname(corpus)).toString('utf8');
  check(found === wantFind, 'folder find as --find');
  await page.screenshot({path: path.join(docs, 'web-folder.png')});
  await testUnitOfClosedFolder(page);
}

// A unit opened from the folder's table keeps its files when the folder's
// tab is closed: its views still read them, and they go with its own tab.
async function testUnitOfClosedFolder(page) {
  const name = await page.evaluate(() => {
    const t = unitpeek.tabs.find((x) => x.kind === 'folder');
    const link = [...t.page.querySelectorAll('table.units tr:not(.failed) a')][0];
    link.click();
    return link.textContent;
  });
  await until(page, (n) => unitpeek.tabs.some((t) => t.kind === 'unit' && t.path === n && t.summary !== undefined), name);
  await page.evaluate(() => unitpeek.tabs.find((x) => x.kind === 'folder').button.querySelector('.close').click());
  const views = [];
  for (const [i, view] of [[2, 'declarations'], [3, 'code'], [4, 'bytes']]) {
    await page.keyboard.down('Alt'); await page.keyboard.press(String(i)); await page.keyboard.up('Alt');
    // A view whose file is gone may never be ready: that is the failure.
    const ready = await until(page, (v) => document.querySelector(`.page:not([hidden]) .view-${v}`)?.dataset.ready === 'yes', view, 10000)
      .then(() => true, () => false);
    if (!ready) continue;
    const got = await page.$eval(`.page:not([hidden]) .view-${view}`, (e) => ({
      lines: e.querySelectorAll('.line').length, failed: e.querySelectorAll('.failed').length}));
    if (got.lines > 0 && got.failed === 0) views.push(view);
  }
  check(views.length === 3, `a unit of a closed folder still shows its views (${views.join(', ')})`, name);
  await page.evaluate(() => document.querySelector('.tab.active .close').click());
  const left = await page.evaluate(() => unitpeek.tabs.length);
  check(left === 0, `no tab left (${left})`);
}

function largestUnit() {
  return corpusFiles().map((f) => [fs.statSync(f).size, f]).sort((a, b) => b[0] - a[0])[0][1];
}

async function testViews(page) {
  const files = corpusFiles();
  if (!files.length) return;
  // The largest unit: Summary and Code within their budgets.
  const big = largestUnit();
  const t0 = Date.now();
  await pick(page, '#open-files', [big]);
  const summaryMs = Date.now() - t0;
  const t1 = Date.now();
  await page.keyboard.down('Alt'); await page.keyboard.press('3'); await page.keyboard.up('Alt');
  await until(page, () => document.querySelector('.page:not([hidden]) .view-code')?.dataset.ready === 'yes', null, 120000);
  const codeMs = Date.now() - t1;
  const drawn = await page.$$eval('.page:not([hidden]) .view-code .line', (l) => l.length);
  check(drawn > 10 && drawn < 200, `code view draws the rows in sight only (${drawn})`);
  figure('web_largest', `${fs.statSync(big).size} ${summaryMs} ${codeMs}`);
  console.log(`web: largest unit ${path.basename(big)} (${fs.statSync(big).size} bytes): Summary ${summaryMs} ms from the pick, Code view ${codeMs} ms`);
  await page.evaluate(() => document.querySelector('.tab.active .close').click());

  // A unit with declarations and code for the pictures.
  const unit = files.find((f) => /Cewka__ABOUT|CEWKI/.test(f)) || files[0];
  await pick(page, '#open-files', [unit]);
  await page.screenshot({path: path.join(docs, 'web-summary.png')});
  const shown = await page.$eval('.page:not([hidden]) pre.summary', (e) => e.textContent);
  check(shown.startsWith('\nUnit '), 'summary view shows the text');
  for (const [i, view] of [[2, 'declarations'], [3, 'code'], [4, 'bytes']]) {
    await page.keyboard.down('Alt'); await page.keyboard.press(String(i)); await page.keyboard.up('Alt');
    await until(page, (v) => document.querySelector(`.page:not([hidden]) .view-${v}`)?.dataset.ready === 'yes', view);
    if (view === 'declarations') {
      await page.evaluate(() => [...document.querySelectorAll('.page:not([hidden]) .view-declarations .outline li')].find((li) => /^T/.test(li.textContent))?.click());
      await sleep(100);
    }
    if (view === 'bytes') {
      const marked = await page.$$eval('.page:not([hidden]) .view-bytes .hex .sel', (l) => l.length);
      check(marked === 1, `the Bytes view marks the tag byte of the declaration chosen (${marked})`);
    }
    const lines = await page.$$eval(`.page:not([hidden]) .view-${view} .line`, (l) => l.length);
    check(lines > 0, `${view} view draws lines (${lines})`);
    await page.screenshot({path: path.join(docs, `web-${view}.png`)});
  }
  // Downloads: Save as .pas and Save JSON.
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'unitpeek-dl-'));
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: dir});
  await page.click('.page:not([hidden]) .save-pas');
  await page.click('.page:not([hidden]) .save-json');
  for (let k = 0; k < 100 && fs.readdirSync(dir).filter((n) => !n.endsWith('.crdownload')).length < 2; k++) await sleep(100);
  const names = fs.readdirSync(dir);
  const pas = names.find((n) => n.endsWith('.pas')), json = names.find((n) => n.endsWith('.json'));
  check(pas && fs.readFileSync(path.join(dir, pas)).equals(cli(['--pas', path.basename(unit)], path.dirname(unit))), 'Save as .pas as --pas', String(names));
  check(json && fs.readFileSync(path.join(dir, json)).equals(cli(['--json', '--decls', path.basename(unit)], path.dirname(unit))), 'Save JSON as --json --decls');
  fs.rmSync(dir, {recursive: true, force: true});
  await testTwoCodeViews(page, unit, files.find((f) => f !== unit && /v7/.test(f)) || files[1]);
  await page.evaluate(() => document.querySelector('.tab.active .close').click());
}

// The module keeps one unit for the Code view: a tab whose Code view was
// open before another's still lists its own routines.
async function testTwoCodeViews(page, first, second) {
  await pick(page, '#open-files', [second]);
  await page.keyboard.down('Alt'); await page.keyboard.press('3'); await page.keyboard.up('Alt');
  await until(page, () => document.querySelector('.page:not([hidden]) .view-code')?.dataset.ready === 'yes');
  await page.evaluate(() => document.querySelector('.tab.active .close').click());
  await page.evaluate(() => document.querySelector('.page:not([hidden]) .view-code .routines li').click());
  await sleep(300);
  const heading = await page.$eval('.page:not([hidden]) .view-code .line', (l) => l.textContent);
  const want = cli(['--code', path.basename(first)], path.dirname(first)).toString('utf8').split('\n').find((l) => l && !l.startsWith('{'));
  check(heading === want, 'a Code view lists its own unit after another tab\'s', `${heading} / ${want}`);
}

// In the Declarations listing, a routine's name goes to its code; Alt+Left
// comes back.
async function testRoutineLink(page, unit) {
  await pick(page, '#open-files', [unit]);
  await page.keyboard.down('Alt'); await page.keyboard.press('2'); await page.keyboard.up('Alt');
  await until(page, () => document.querySelector('.page:not([hidden]) .view-declarations')?.dataset.ready === 'yes');
  const name = await page.evaluate(async () => {
    const tab = unitpeek.tabs.slice(-1)[0];
    const i = tab.declLines.findIndex((runs) => /^procedure |^function /.test(runs.filter((_, j) => j % 3 === 2).join('')));
    if (i < 0) return null;
    tab.declRows.scrollTo(i);
    const link = document.querySelector('.page:not([hidden]) .view-declarations .def.link');
    if (!link) return null;
    link.click();
    return link.textContent;
  });
  if (name === null) { check(false, 'a routine name is a link in the listing'); return; }
  await until(page, () => document.querySelector('.page:not([hidden])').dataset.view === 'Code' &&
                          document.querySelector('.page:not([hidden]) .routines li.current'));
  await sleep(200);
  const shown = await page.$eval('.page:not([hidden]) .routines li.current', (li) => li.textContent);
  check(shown.endsWith(name), `a routine's name in the listing goes to its code (${name} -> ${shown})`);
  await page.keyboard.down('Alt'); await page.keyboard.press('ArrowLeft'); await page.keyboard.up('Alt');
  const back = await page.$eval('.page:not([hidden])', (p) => p.dataset.view);
  check(back === 'Declarations', 'Alt+Left goes back to the listing');
  await page.evaluate(() => document.querySelector('.tab.active .close').click());
}

async function testDamaged(page) {
  const files = corpusFiles();
  if (!files.length) return;
  // Four bytes overwritten in the middle of a unit's declarations: reading
  // stops there (at 0xA2A, its tag at 0xA29), far from the file's start.
  const src = files.find((f) => /UNT_PARD/.test(f)) || files[0];
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'unitpeek-bad-'));
  const bad = path.join(dir, 'Damaged.dcu');
  const bytes = Buffer.from(fs.readFileSync(src));
  bytes.fill(0xFF, 2600, 2604);
  fs.writeFileSync(bad, bytes);
  await pick(page, '#open-files', [bad]);
  const got = await page.evaluate(() => { const t = unitpeek.tabs.slice(-1)[0]; return {s: t.summary, fail: t.failOffset, loaded: t.loaded}; });
  const want = cli([path.basename(bad)], dir).toString('utf8');
  check(!got.loaded && got.s === want, 'damaged unit: the message as the command line\'s', JSON.stringify(got.s));
  await page.keyboard.down('Alt'); await page.keyboard.press('4'); await page.keyboard.up('Alt');
  await until(page, () => document.querySelector('.page:not([hidden]) .view-bytes')?.dataset.ready === 'yes');
  const mark = await page.$eval('.page:not([hidden]) .view-bytes', (v) => {
    const f = v.querySelector('.hex .fail');
    return f ? f.parentElement.querySelector('.offset').textContent.trim() : null;
  });
  check(got.fail >= 0 && mark === (Math.floor(got.fail / 16) * 16).toString(16).toUpperCase().padStart(8, '0'),
        'damaged unit: the Bytes view marks the place', `${mark} ${got.fail}`);
  await page.screenshot({path: path.join(docs, 'web-damaged.png')});
  await page.evaluate(() => document.querySelector('.tab.active .close').click());
  // Cut short (its stored length made to match): what was read before the
  // end is kept, and the JSON gives those declarations as "partial".
  const cut = path.join(dir, 'Cut.dcu');
  const whole = fs.readFileSync(src);
  const short = Buffer.from(whole.subarray(0, whole.length - 200));
  short.writeUInt32LE(short.length, 4);
  fs.writeFileSync(cut, short);
  await pick(page, '#open-files', [cut]);
  const json = await page.evaluate(async () => {
    const t = unitpeek.tabs.slice(-1)[0];
    return unitpeek.text(await unitpeek.ask('json', {cwd: t.dir, path: t.path}));
  });
  const wantJson = cli(['--json', '--decls', path.basename(cut)], dir).toString('utf8');
  check(json === wantJson && wantJson.includes('"partial": true'), 'a unit cut short: its JSON as --json --decls, partial', json.slice(0, 200));
  await page.evaluate(() => document.querySelector('.tab.active .close').click());
  fs.rmSync(dir, {recursive: true, force: true});
}

// The page from a static server: the worker and the module as files.
async function testServed(browser) {
  const files = corpusFiles();
  if (!files.length) return;
  const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css'};
  const server = http.createServer((req, res) => {
    const p = path.join(buildWeb, path.normalize(decodeURIComponent(req.url.split('?')[0])).replace(/^\/+/, '') || 'index.html');
    if (!p.startsWith(buildWeb) || !fs.existsSync(p) || fs.statSync(p).isDirectory()) { res.writeHead(404); res.end(); return; }
    res.writeHead(200, {'Content-Type': types[path.extname(p)] || 'application/octet-stream'});
    fs.createReadStream(p).pipe(res);
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  const base = `http://127.0.0.1:${server.address().port}/`;
  const leaks = [], policy = [];
  const page = await openPage(browser, base + 'index.html', base, leaks, policy);
  const unit = files[0];
  await pick(page, '#open-files', [unit]);
  const s = await page.evaluate(() => unitpeek.tabs[0].summary);
  check(s === cli([path.basename(unit)], path.dirname(unit)).toString('utf8'), 'served page: the summary');
  check(leaks.length === 0 && policy.length === 0, 'served page: no request leaves, no policy broken', String([...leaks, ...policy]));
  await page.close();
  server.close();
}

(async () => {
  fs.mkdirSync(docs, {recursive: true});
  const browser = await launch();
  const prefix = 'file://' + buildWeb + '/';
  const leaks = [], policy = [];
  try {
    const page = await openPage(browser, prefix + 'index.html', prefix, leaks, policy);
    await testCorpus(page);
    await testFolder(page);
    await testViews(page);
    await testDamaged(page);
    const withRoutines = corpusFiles().find((f) => /UNT_PARD/.test(f));
    if (withRoutines) await testRoutineLink(page, withRoutines);
    check(leaks.length === 0, 'no request leaves the page', leaks.join(' '));
    check(policy.length === 0, 'no policy broken, no page error', policy.join(' | '));
    await page.close();
    await testServed(browser);
  } catch (e) {
    check(false, 'browser test', e.stack);
  } finally {
    await browser.close();
  }
  const wasm = fs.readFileSync(path.join(buildWeb, 'unitpeek.wasm'));
  const script = fs.readFileSync(path.join(buildWeb, 'unitpeek.js'));
  const zlib = require('zlib');
  const gz = (b) => zlib.gzipSync(b, {level: 9}).length;
  figure('web_module', `${wasm.length + script.length} ${gz(wasm) + gz(script)} ${wasm.length} ${gz(wasm)}`);
  if (process.env.UNITPEEK_WEB_FIGURES) fs.appendFileSync(process.env.UNITPEEK_WEB_FIGURES, figures.join('\n') + '\n');
  console.log(`${results.passed} passed, ${results.failed} failed`);
  process.exit(results.failed ? 1 : 0);
})();
