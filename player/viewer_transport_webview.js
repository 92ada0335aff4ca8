// The system web view's transport for window.flashHost (see viewer_bridge.js). The web view
// reaches its host through one bound function; this takes the way there out of the page's reach
// at document creation, before any script of the page runs, and speaks the bound function's
// protocol itself: {id, method, params} posted as JSON, params being [token, kind, text]. The host
// answers every message by calling window.__flashHostAnswer(id, answer).
// The viewer control fills in its numbered markers: the bound function's name (a JSON string),
// the web view's token (a JSON string; the host ignores messages without it, so a page that
// kept a way to post cannot speak for the bridge) and what to refuse the page (a JSON object:
// menu, fullScreen).
(function (name, token, refuse) {
  "use strict";
  var webview = window.chrome && window.chrome.webview;
  // Only the main frame's document speaks to the host, as on the other engine; a frame gets
  // no answers.
  var mainFrame = window.top === window;
  var post = mainFrame && webview && webview.postMessage ? webview.postMessage.bind(webview) : null;
  function remove(object, key) {
    if (!object) return true;
    try { delete object[key]; } catch (e) {}
    if (object[key] === undefined) return true;
    try {
      Object.defineProperty(object, key, { value: undefined, writable: false, configurable: false });
    } catch (e) {}
    return object[key] === undefined;
  }
  // Without the web view's object nothing of the page reaches the host; the library's own
  // window.external only leads there.
  var hidden = remove(window, name) && remove(window.chrome, "webview");
  remove(window, "external");
  var pending = {}, nextId = 1;
  Object.defineProperty(window, "__flashHostAnswer", { enumerable: false, configurable: false,
    writable: false, value: function (id, answer) {
      var resolve = pending[id];
      delete pending[id];
      if (resolve) resolve(answer === undefined ? null : answer);
    } });
  function send(kind, text, resolve) {
    if (!post) { if (resolve) resolve(null); return; }
    var id = nextId++;
    pending[id] = resolve || function () {};
    post(JSON.stringify({ id: id, method: name, params: [token, kind, String(text)] }));
  }
  // Every document tells the host where it is before anything else: the host decides whether
  // it is served, passed or refused.
  send("document", JSON.stringify({ url: location.href, hidden: hidden }));
  // What the web view's C interface cannot switch off is refused here.
  if (refuse.menu) {
    window.addEventListener("contextmenu", function (e) { e.preventDefault(); }, true);
  }
  if (refuse.fullScreen) {
    var no = function () { return Promise.reject(new TypeError("Full screen is not allowed")); };
    try { Element.prototype.requestFullscreen = no; } catch (e) {}
    try { Element.prototype.webkitRequestFullscreen = no; } catch (e) {}
  }
  // The clipboard stays the user's: the web view's library lets pages read it unasked.
  try {
    Object.defineProperty(Navigator.prototype, "clipboard", { get: function () { return undefined; },
      configurable: false });
  } catch (e) {}
  return function (ready) {
    ready({
      call: function (request, resolve) { send("call", request, resolve); },
      documentState: function (state) { send("state", state, null); }
    });
  };
})(%1, %2, %3)
