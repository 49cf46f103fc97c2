// Both pages register the service worker (sw.js), which keeps the site's files for use offline
// and lets the browser install the site as an app.
'use strict';
if ('serviceWorker' in navigator) {
  navigator.serviceWorker.register('sw.js').catch(() => {});
}
