// What every browser test shares: the static server of the built site on 127.0.0.1, each browser
// launched headless with a fresh profile of its own, and a page's console errors and requests
// beyond the server collected.
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join } from 'node:path';
import puppeteer from 'puppeteer-core';

const types = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.png': 'image/png', '.webmanifest': 'application/manifest+json',
};

// Serves the site folder only, counting the bytes it sends.
export async function serveSite(siteDir) {
  const served = { origin: '', bytes: 0, close: () => server.close() };
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://127.0.0.1').pathname;
    const file = join(siteDir, path === '/' ? 'index.html' : path.slice(1));
    if (path.includes('..') || !existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    const body = readFileSync(file);
    served.bytes += body.length;
    response.writeHead(200, { 'Content-Type': types[extname(file)] ?? 'application/octet-stream' }).end(body);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  served.origin = `http://127.0.0.1:${server.address().port}`;
  return served;
}

// Chromium through its own protocol, Firefox through WebDriver BiDi: puppeteer gives both one
// interface. CHROMIUM and FIREFOX override their executables. Neither probes the network itself.
export async function launchBrowser(name) {
  const profile = mkdtempSync(join(tmpdir(), `tessera-${name}-`));
  const cleanUp = () => rmSync(profile, { recursive: true, force: true });
  if (name === 'chromium') {
    const browser = await puppeteer.launch({
      executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', `--user-data-dir=${profile}`],
    });
    return { browser, cleanUp };
  }
  if (name === 'firefox') {
    const browser = await puppeteer.launch({
      browser: 'firefox',
      protocol: 'webDriverBiDi',
      executablePath: process.env.FIREFOX ?? '/usr/bin/firefox-esr',
      headless: true,
      timeout: 120000,
      userDataDir: profile,
      extraPrefsFirefox: {
        'network.captive-portal-service.enabled': false,
        'network.connectivity-service.enabled': false,
      },
    });
    return { browser, cleanUp };
  }
  cleanUp();
  throw new Error(`no browser called ${name}: chromium or firefox`);
}

// The page's console errors and uncaught exceptions, and its requests beyond `origin` (object
// and data URLs are the page's own).
export function watchPage(page, origin) {
  const watched = { consoleErrors: [], foreignRequests: [] };
  page.on('console', (message) => message.type() === 'error' && watched.consoleErrors.push(message.text()));
  page.on('pageerror', (error) => watched.consoleErrors.push(String(error)));
  page.on('request', (request) => {
    const url = new URL(request.url());
    if (!['blob:', 'data:'].includes(url.protocol) && url.host !== new URL(origin).host) {
      watched.foreignRequests.push(request.url());
    }
  });
  return watched;
}
