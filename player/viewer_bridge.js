// Makes window.flashHost for the viewer: calls wait for the host's transport, then come back as
// the host's answer (null when there was none). Document states are reported in order.
// The viewer control fills in its four numbered markers: the properties the viewer applies
// itself (JSON), whether calls are allowed (true or false), the movie's origin as location.origin
// spells it (a JSON string) and the transport: an expression giving a function that connects to
// the host and hands its callback the host, an object with call(request, resolve) and
// documentState(state). The transport expression runs in every document, before this checks
// whose document it is.
(function (connect) {
  "use strict";
  // The engine's own error documents are no viewer: they neither report nor call.
  if (location.protocol !== "http:" && location.protocol !== "https:") return;
  // Only the movie's own documents get the bridge (the host refuses all others' calls too).
  if (location.origin !== %3) return;
  var params = %1, allowCalls = %2;
  var host = null, waiting = [];
  function whenConnected(fn) { if (host) fn(host); else waiting.push(fn); }
  function report(state) { whenConnected(function (h) { h.documentState(state); }); }
  connect(function (connected) {
    host = connected;
    var queued = waiting; waiting = [];
    queued.forEach(function (fn) { fn(host); });
  });
  report(document.readyState);
  document.addEventListener("readystatechange", function () { report(document.readyState); });
  if (!allowCalls) return;
  Object.defineProperty(window, "flashHost", { configurable: false, writable: false,
    value: Object.freeze({
      params: Object.freeze(params),
      call: function (request) {
        return new Promise(function (resolve) {
          whenConnected(function (h) { h.call(String(request), resolve); });
        });
      }
    }) });
})(%4);
