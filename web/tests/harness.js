// Starts the demo company's server and a headless Chromium for the page
// tests, and stops both again. The server runs from the build's own
// binary (PLEXAVO_CLI); the browser is the system's Chromium
// (PLEXAVO_CHROMIUM, default /usr/bin/chromium): nothing is downloaded.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const CLI = process.env.PLEXAVO_CLI;
export const SCREENSHOTS = process.env.PLEXAVO_SCREENSHOTS || join(process.cwd(), 'screenshots');

function freePort() {
  return new Promise((resolve, reject) => {
    const s = createServer();
    s.once('error', reject);
    s.listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });
}

async function waitForHealth(base, deadlineMs) {
  const until = Date.now() + deadlineMs;
  for (;;) {
    try {
      const r = await fetch(`${base}/v1/health`);
      if (r.ok) return;
    } catch {
      // not listening yet
    }
    if (Date.now() > until) throw new Error(`the demo server did not answer at ${base}`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

export async function startDemo() {
  if (!CLI) throw new Error('PLEXAVO_CLI must name the built plexavo binary');
  const dir = mkdtempSync(join(tmpdir(), 'plexavo-web-'));
  const port = await freePort();
  const child = spawn(CLI, ['demo', '--dir', dir, '--listen', `127.0.0.1:${port}`], {
    stdio: ['ignore', 'pipe', 'inherit'],
    env: { ...process.env, PLEXAVO_NO_SYSLOG: '1' },
  });
  let out = '';
  child.stdout.on('data', (d) => { out += d; });
  const base = `http://127.0.0.1:${port}`;
  // A binary that cannot start fails the test at once, not after the wait.
  const failedToStart = new Promise((_, reject) => {
    child.once('error', (e) => reject(new Error(`cannot start ${CLI}: ${e.message}`)));
    child.once('exit', (code) => reject(new Error(`the demo server exited (${code}):\n${out}`)));
  });
  failedToStart.catch(() => {});
  await Promise.race([waitForHealth(base, 30000), failedToStart]);
  const token = (label) => {
    const m = out.match(new RegExp(`${label}[^:]*: ([0-9a-f]{64})`));
    if (!m) throw new Error(`no ${label} token in the demo's output:\n${out}`);
    return m[1];
  };
  const env = { ...process.env, PLEXAVO_SETTINGS: join(dir, 'settings.ini'), PLEXAVO_NO_SYSLOG: '1' };
  const admin = (...args) => execFileSync(CLI, args, { env, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] }).trim();
  return {
    base,
    output: () => out,
    tokens: { admin: token('Admin token'), clerk: token('Clerk token'), keeper: token('Keeper token') },
    admin,
    async stop() {
      child.kill('SIGTERM');
      await new Promise((r) => child.once('exit', r));
      rmSync(dir, { recursive: true, force: true });
    },
  };
}

export async function startBrowser() {
  mkdirSync(SCREENSHOTS, { recursive: true });
  return chromium.launch({
    executablePath: process.env.PLEXAVO_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-dev-shm-usage'],
  });
}

// A call of the component as any other caller makes it.
export async function apiCall(demo, token, progid, method, args) {
  const r = await fetch(`${demo.base}/v1/call`, {
    method: 'POST',
    headers: { Authorization: `Bearer ${token}`, 'Content-Type': 'application/json' },
    body: JSON.stringify({ progid, method, args: { vstrDB: 'demo', ...args } }),
  });
  return { status: r.status, body: await r.json() };
}
