// The page's service worker: once the page has been opened, it works with
// no network. Every file of the site is kept in a cache; the network is
// asked first, so that a new version of the site is what people get when
// they are online, and the cache answers when it does not.
'use strict';

const CACHE = 'mthc-site';
const SITE = ['./', 'index.html', 'style.css', 'words.js', 'player.js', 'app.js', 'worker.js',
              'roll-worker.js', 'mthc.js', 'mthc.wasm', 'fflate.min.js',
              'webaudio-tinysynth.min.js', 'favicon.svg', 'README.txt'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(SITE))
                      .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(self.clients.claim());
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== location.origin) return;
  event.respondWith((async () => {
    const cache = await caches.open(CACHE);
    try {
      const response = await fetch(request);
      if (response.ok && response.status === 200) await cache.put(request, response.clone());
      return response;
    } catch (error) {
      const kept = await cache.match(request, {ignoreSearch: true});
      if (kept) return kept;
      throw error;
    }
  })());
});
