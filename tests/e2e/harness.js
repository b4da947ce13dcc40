'use strict';
// What the browser tests share: a real tessellgroved on a temporary store and a free loopback
// port, tgctl beside it, headless Chromium through playwright-core, screenshots, and checks.
//
// Every wait is bounded. The daemon is stopped with SIGTERM (SIGKILL after a bound) and the
// browser closed whatever happens: on success, on a failed check, on an exception and when
// the test's own time limit runs out. The temporary folder is removed unless the test failed.
//
// Environment (set by tests/e2e/CMakeLists.txt):
//   TG_BIN_DIR         folder of tessellgroved and tgctl
//   TG_HTDOCS          the built htdocs (templates and chart libraries)
//   TG_SCREENSHOTS     where screenshots go
//   TG_CHROMIUM        the browser (default /usr/bin/chromium)
//   NODE_PATH          node_modules holding playwright-core

const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');

const binDir = requireEnv('TG_BIN_DIR');
const htdocs = requireEnv('TG_HTDOCS');
const screenshotDir = requireEnv('TG_SCREENSHOTS');
const chromiumPath = process.env.TG_CHROMIUM || '/usr/bin/chromium';
const kSetpriv = '/usr/bin/setpriv';

function requireEnv(name) {
    const value = process.env[name];
    if (!value) throw new Error(`${name} is not set; run the test through ctest`);
    return value;
}

function log(...words) {
    console.log(`[${new Date().toISOString().slice(11, 23)}]`, ...words);
}

// Calls `condition` until it gives a true value or `limitMs` passes; its last result.
async function waitFor(condition, limitMs, what) {
    const deadline = Date.now() + limitMs;
    for (;;) {
        const result = await condition();
        if (result) return result;
        if (Date.now() >= deadline) throw new Error(`gave up after ${limitMs} ms waiting for ${what}`);
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
}

function freePort() {
    return new Promise((resolve, reject) => {
        const server = net.createServer();
        server.once('error', reject);
        server.listen(0, '127.0.0.1', () => {
            const { port } = server.address();
            server.close(() => resolve(port));
        });
    });
}

// Whether process `pid` itself listens on TCP `port`: one of its descriptors is a socket that
// /proc/net/tcp or tcp6 shows listening there. Another program that took the port meanwhile
// is thus never mistaken for the daemon.
function listensOn(pid, port) {
    const inodes = new Set();
    try {
        for (const fd of fs.readdirSync(`/proc/${pid}/fd`)) {
            let link = '';
            try { link = fs.readlinkSync(`/proc/${pid}/fd/${fd}`); } catch (e) { continue; }
            const socket = /^socket:\[(\d+)\]$/.exec(link);
            if (socket) inodes.add(socket[1]);
        }
    } catch (e) {
        return false;  // gone
    }
    for (const table of ['/proc/net/tcp', '/proc/net/tcp6']) {
        let rows = [];
        try { rows = fs.readFileSync(table, 'utf8').split('\n').slice(1); } catch (e) { continue; }
        for (const row of rows) {
            // sl local_address rem_address st ... inode
            const fields = row.trim().split(/\s+/);
            if (fields.length < 10 || fields[3] !== '0A') continue;  // 0A: listening
            const localPort = parseInt(fields[1].split(':').pop(), 16);
            if (localPort === port && inodes.has(fields[9])) return true;
        }
    }
    return false;
}

class Workspace {
    constructor(name) {
        this.dir = fs.mkdtempSync(path.join(os.tmpdir(), `tg-e2e-${name}-`));
        this.store = path.join(this.dir, 'store.db');
        this.daemon = null;
        this.daemonErrors = path.join(this.dir, 'daemon.err');
        this.port = 0;
    }

    file(name) {
        return path.join(this.dir, name);
    }

    // Runs tgctl on the workspace's store; throws with its messages when it fails.
    tgctl(args, input) {
        const result = childProcess.spawnSync(path.join(binDir, 'tgctl'),
            ['--store', this.store, ...args],
            { input: input === undefined ? '' : input, encoding: 'utf8', timeout: 30000 });
        if (result.error) throw result.error;
        if (result.status !== 0) {
            throw new Error(`tgctl ${args.join(' ')} failed (${result.status}): ${result.stderr}`);
        }
        return result.stdout;
    }

    // A FILE source "web" on web.log ("STATUS BYTES" lines) with its backup file.
    addWebSource() {
        this.log = this.file('web.log');
        fs.writeFileSync(this.log, '');
        this.tgctl(['source', 'add', 'web', '--type', 'FILE', '--regexp', '^([0-9]+) ([0-9]+)$',
            '--connect', this.log, '--backup', this.file('web.dup.log'),
            '--fields', 'status,bytes']);
    }

    appendLog(lines) {
        fs.appendFileSync(this.log, lines.map((l) => l + '\n').join(''));
    }

    // Starts tessellgroved on a free loopback port and waits until it listens there itself.
    // A port taken between the choice and the start ends that daemon ("in use"): retried with
    // another.
    async startDaemon() {
        for (let attempt = 1; ; ++attempt) {
            this.port = await freePort();
            this.tgctl(['settings', 'set', 'Port', String(this.port)]);
            const errors = fs.openSync(this.daemonErrors, 'w');
            const daemonArgs = [path.join(binDir, 'tessellgroved'),
                '--store', this.store, '--bind', '127.0.0.1', '--htdocs', htdocs];
            // setpriv execs the daemon in its own process and asks the kernel for a SIGTERM
            // should this test process die without stopping it (killed by a time-out).
            if (fs.existsSync(kSetpriv)) daemonArgs.unshift(kSetpriv, '--pdeathsig', 'TERM', '--');
            const child = childProcess.spawn(daemonArgs[0], daemonArgs.slice(1),
                { stdio: ['ignore', 'ignore', errors] });
            fs.closeSync(errors);
            this.daemon = { child, exited: false, code: null, signal: null };
            const daemon = this.daemon;
            child.once('exit', (code, signal) => {
                daemon.exited = true;
                daemon.code = code;
                daemon.signal = signal;
            });
            const up = await waitFor(() => daemon.exited || listensOn(child.pid, this.port),
                30000, 'tessellgroved to listen');
            if (up && !daemon.exited) {
                log(`tessellgroved ${child.pid} listens on 127.0.0.1:${this.port}`);
                return;
            }
            if (attempt >= 5 || !/is already in use/.test(this.errors())) {
                throw new Error(`tessellgroved ended at start (${daemon.code}): ${this.errors()}`);
            }
        }
    }

    get base() {
        return `http://127.0.0.1:${this.port}/`;
    }

    errors() {
        try {
            return fs.readFileSync(this.daemonErrors, 'utf8');
        } catch (e) {
            return '';
        }
    }

    // SIGTERM, then SIGKILL when the daemon has not ended within the bound. Returns the exit
    // code of an orderly end, null otherwise.
    async stopDaemon() {
        const daemon = this.daemon;
        if (!daemon) return null;
        this.daemon = null;
        if (daemon.exited) return daemon.code;
        daemon.child.kill('SIGTERM');
        try {
            await waitFor(() => daemon.exited, 30000, 'tessellgroved to end after SIGTERM');
        } catch (e) {
            daemon.child.kill('SIGKILL');
            await waitFor(() => daemon.exited, 10000, 'tessellgroved to end after SIGKILL');
            return null;
        }
        return daemon.code;
    }

    remove() {
        fs.rmSync(this.dir, { recursive: true, force: true });
    }
}

async function launchBrowser() {
    if (!fs.existsSync(chromiumPath)) {
        throw new Error(`${chromiumPath} is missing: scripts/deps.sh installs the chromium package`);
    }
    const { chromium } = require('playwright-core');
    return chromium.launch({ executablePath: chromiumPath, headless: true, timeout: 60000 });
}

// A page whose every action and wait has a bound, whose confirm dialogs are accepted, and whose
// script errors are collected (a test fails on them).
async function newPage(browser, contextOptions) {
    const context = await browser.newContext(Object.assign({
        viewport: { width: 1280, height: 860 },
    }, contextOptions || {}));
    context.setDefaultTimeout(15000);
    context.setDefaultNavigationTimeout(20000);
    const page = await context.newPage();
    page.scriptErrors = [];
    page.on('pageerror', (error) => page.scriptErrors.push(String(error)));
    page.on('dialog', (dialog) => dialog.accept());
    return page;
}

async function screenshot(page, name, options) {
    fs.mkdirSync(screenshotDir, { recursive: true });
    const file = path.join(screenshotDir, `${name}.png`);
    await page.screenshot(Object.assign({ path: file, fullPage: true }, options || {}));
    log(`screenshot ${file}`);
    return file;
}

// ---- PNG reading, to tell a drawn chart from an empty area ----

function paeth(a, b, c) {
    const p = a + b - c;
    const pa = Math.abs(p - a);
    const pb = Math.abs(p - b);
    const pc = Math.abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The pixels of an 8-bit RGB or RGBA, non-interlaced PNG (what Chromium writes).
function decodePng(buffer) {
    assert.equal(buffer.toString('latin1', 1, 4), 'PNG', 'not a PNG');
    let pos = 8;
    let width = 0;
    let height = 0;
    let channels = 0;
    const idat = [];
    while (pos < buffer.length) {
        const length = buffer.readUInt32BE(pos);
        const type = buffer.toString('latin1', pos + 4, pos + 8);
        const data = buffer.subarray(pos + 8, pos + 8 + length);
        if (type === 'IHDR') {
            width = data.readUInt32BE(0);
            height = data.readUInt32BE(4);
            assert.equal(data[8], 8, 'PNG bit depth');
            assert.equal(data[12], 0, 'interlaced PNG');
            channels = { 2: 3, 6: 4 }[data[9]];
            assert.ok(channels, `PNG colour type ${data[9]}`);
        } else if (type === 'IDAT') {
            idat.push(data);
        }
        pos += 12 + length;
    }
    const raw = zlib.inflateSync(Buffer.concat(idat));
    const stride = width * channels;
    const pixels = Buffer.alloc(height * stride);
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        for (let x = 0; x < stride; ++x) {
            const value = raw[y * (stride + 1) + 1 + x];
            const a = x >= channels ? pixels[y * stride + x - channels] : 0;
            const b = y > 0 ? pixels[(y - 1) * stride + x] : 0;
            const c = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
            const predicted = [0, a, b, (a + b) >> 1, paeth(a, b, c)][filter];
            pixels[y * stride + x] = (value + predicted) & 0xff;
        }
    }
    return { width, height, channels, pixels };
}

// How much of an element's screenshot differs from its most common colour (the background),
// and how many distinct colours it has.
async function inkOf(locator) {
    const png = decodePng(await locator.screenshot());
    const counts = new Map();
    for (let i = 0; i < png.pixels.length; i += png.channels) {
        const key = (png.pixels[i] << 16) | (png.pixels[i + 1] << 8) | png.pixels[i + 2];
        counts.set(key, (counts.get(key) || 0) + 1);
    }
    const total = png.width * png.height;
    const background = Math.max(...counts.values());
    return { inked: (total - background) / total, colours: counts.size };
}

// Runs one browser test: `body` gets the workspace and the browser. Fails (exit code 1) on an
// exception, on script errors that a page reported, and when `limitMs` passes.
function run(name, limitMs, body) {
    const workspace = new Workspace(name);
    let browser = null;
    let finished = false;
    // A promise that fails unseen (a wait still pending when its page went) must neither end
    // the process before the daemon is stopped nor pass unnoticed while the test runs.
    const strayErrors = [];
    process.on('unhandledRejection', (error) => {
        if (!finished) strayErrors.push(error);
    });
    const cleanup = async () => {
        if (browser) {
            const b = browser;
            browser = null;
            await Promise.race([b.close().catch(() => {}),
                new Promise((resolve) => setTimeout(resolve, 10000))]);
        }
        const code = await workspace.stopDaemon();
        if (code !== null && code !== 0) throw new Error(`tessellgroved exited with ${code}`);
    };
    const timer = setTimeout(async () => {
        if (finished) return;
        console.error(`FAILED: ${name} did not finish within ${limitMs} ms`);
        await cleanup().catch(() => {});
        process.exit(1);
    }, limitMs);
    (async () => {
        try {
            browser = await launchBrowser();
            log(`${name}: Chromium ${browser.version()}, store ${workspace.store}`);
            await body(workspace, browser);
            if (strayErrors.length) throw strayErrors[0];
            await cleanup();
            finished = true;
            clearTimeout(timer);
            const errors = workspace.errors().trim();
            if (errors) log(`tessellgroved said:\n${errors}`);
            workspace.remove();
            console.log(`${name}: passed`);
            process.exit(0);
        } catch (error) {
            finished = true;
            clearTimeout(timer);
            console.error(`FAILED: ${name}: ${error && error.stack ? error.stack : error}`);
            await cleanup().catch((e) => console.error(`cleanup: ${e}`));
            const errors = workspace.errors().trim();
            if (errors) console.error(`tessellgroved said:\n${errors}`);
            console.error(`kept ${workspace.dir}`);
            process.exit(1);
        }
    })();
    for (const signal of ['SIGINT', 'SIGTERM']) {
        process.once(signal, async () => {
            await cleanup().catch(() => {});
            process.exit(1);
        });
    }
}

module.exports = { assert, log, waitFor, run, newPage, screenshot, inkOf, decodePng };
