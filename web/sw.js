// The playground's service worker: after one visit the page loads and runs
// with no network. This version's files are kept in one cache, named after
// the version and the files' contents (make web fills both in), so a new
// release installs a new cache and the old one is dropped.
const VERSION = "@VERSION@";
const FILES = ["@FILES@"];
const PREFIX = `vek ${self.registration.scope} `; // other sites on this origin keep theirs
const CACHE = PREFIX + VERSION;

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  const old = (name) => name.startsWith(PREFIX) && name !== CACHE;
  // No claim of pages already open: what they loaded stays theirs.
  event.waitUntil(caches.keys().then((names) => Promise.all(names.filter(old).map((name) => caches.delete(name)))));
});

// The kept files first (links carry their program after the #, which is not
// part of the request); anything else from the network.
self.addEventListener("fetch", (event) => {
  if (event.request.method !== "GET") return;
  event.respondWith(caches.open(CACHE)
    .then((cache) => cache.match(event.request, { ignoreSearch: true }))
    .then((kept) => kept || fetch(event.request)));
});
