// The service worker: keeps every file of the site in a cache named after the build, answers
// from that cache at once (so both pages open with no network) and refreshes the cached copy
// from the server whenever it can. scripts/web.sh puts the build's stamp in place of @VERSION@.
'use strict';
const cacheName = 'tessera-@VERSION@';
const files = ['./', 'index.html', 'app.js', 'pool.js', 'style.css', 'worker.js', 'zip.js', 'tessera_page.js',
  'tessera_page.wasm', 'paint.html', 'paint.js', 'paint.css', 'tessera_paint.js', 'tessera_paint.wasm',
  'register.js', 'manifest.webmanifest', 'icon-192.png', 'icon-512.png', 'cdda_uc_dog_gshepherd_32.png'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(files)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name !== cacheName).map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(caches.open(cacheName).then(async (cache) => {
    const cached = await cache.match(request, { ignoreSearch: true });
    const fresh = fetch(request).then((response) => {
      if (response.ok) cache.put(request, response.clone());
      return response;
    });
    if (cached) {
      event.waitUntil(fresh.catch(() => {}));
      return cached;
    }
    return fresh;
  }));
});
