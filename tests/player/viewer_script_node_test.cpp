// The system web view's script run as the web view would run it at each document's creation, in
// Node's script engine with a stand-in window: which documents get window.flashHost, what the
// page keeps of the way to the host, and how messages and answers go. The web view itself runs
// only on Windows; this is its script's half, seen on every build machine that has Node.
#include "player/flash_properties.h"
#include "player/viewer_messages.h"
#include "player/viewer_script.h"
#include "tests/support/qt_print.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kToken = QStringLiteral("00112233445566778899aabbccddeeff");
const QString kMovie = QStringLiteral("http://www.tevora.tv/flash/viewer.swf?cid=abc");

// A window with what WebView2 and webview.dll put there before the script runs: the web view's
// object, the library's window.external and its bound function.
const char* const kHarness = R"JS(
"use strict";
const vm = require("vm");
const fs = require("fs");
const assert = require("assert");
const script = fs.readFileSync(process.argv[2], "utf8");
const token = process.argv[3];

function open(href, top) {
  const posted = [], listeners = {};
  const webview = { postMessage(text) { posted.push(JSON.parse(text)); } };
  const url = new URL(href);
  const window = {
    location: { href: url.href, protocol: url.protocol, origin: url.origin },
    document: { readyState: "loading",
                addEventListener(type, fn) { (listeners[type] = listeners[type] || []).push(fn); } },
    chrome: { webview },
    flashHostCall() { return new Promise(() => {}); },
    addEventListener(type, fn) { (listeners["window:" + type] = listeners["window:" + type] || []).push(fn); },
    Element: function () {}, Navigator: function () {},
    Promise, JSON, Object, String, TypeError, Array,
  };
  window.external = { invoke: (s) => window.chrome.webview.postMessage(s) };
  Object.defineProperty(window.Navigator.prototype, "clipboard",
                        { get() { return "the user's text"; }, configurable: true });
  window.navigator = Object.create(window.Navigator.prototype);
  window.Element.prototype = {};
  window.window = window;
  window.top = top || window;
  vm.createContext(window);
  vm.runInContext(script, window);
  return { window, posted, listeners };
}

function paramsOf(message) {
  assert.strictEqual(message.method, "flashHostCall");
  assert.strictEqual(message.params[0], token);
  return message.params;
}

(async () => {
  // The movie's own document: it says where it is, reports its state and gets the bridge.
  const movie = open(process.argv[4]);
  const w = movie.window;
  const [, kind, text] = paramsOf(movie.posted[0]);
  assert.strictEqual(kind, "document");
  assert.deepStrictEqual(JSON.parse(text), { url: process.argv[4], hidden: true });
  assert.deepStrictEqual(paramsOf(movie.posted[1]).slice(1), ["state", "loading"]);
  // Nothing of the way to the host is left to the page.
  assert.strictEqual(w.chrome.webview, undefined);
  assert.strictEqual(w.flashHostCall, undefined);
  assert.strictEqual(w.external, undefined);
  assert.strictEqual(w.navigator.clipboard, undefined);
  assert.strictEqual(typeof w.flashHost, "object");
  assert.strictEqual(w.flashHost.params.play, true);
  // A call goes out as a message and comes back with the host's answer, or null.
  const answered = w.flashHost.call("<invoke name=\"a\"/>");
  const call = movie.posted[2];
  assert.deepStrictEqual(paramsOf(call).slice(1), ["call", "<invoke name=\"a\"/>"]);
  w.__flashHostAnswer(call.id, "Win32");
  assert.strictEqual(await answered, "Win32");
  const unanswered = w.flashHost.call("x");
  w.__flashHostAnswer(movie.posted[3].id, null);
  assert.strictEqual(await unanswered, null);
  // Each message is answered once; an answer for nothing pending does nothing.
  w.__flashHostAnswer(call.id, "again");
  w.__flashHostAnswer(999, "none");
  // The page can neither replace the bridge nor the answer's way back.
  vm.runInContext("flashHost = null; __flashHostAnswer = null; delete window.flashHost;", w);
  assert.strictEqual(typeof w.flashHost, "object");
  assert.strictEqual(typeof w.__flashHostAnswer, "function");
  assert.ok(!Object.keys(w).includes("__flashHostAnswer"));
  // The context menu is refused (Menu is false), full screen too.
  assert.strictEqual((movie.listeners["window:contextmenu"] || []).length, 1);
  await assert.rejects(w.Element.prototype.requestFullscreen());
  // Later states of the document are reported in order.
  w.document.readyState = "interactive";
  movie.listeners.readystatechange.forEach((fn) => fn());
  assert.deepStrictEqual(paramsOf(movie.posted[4]).slice(1), ["state", "interactive"]);

  // A document elsewhere: it says where it is, and gets no bridge and no way to post.
  const other = open("http://other.example/page");
  assert.strictEqual(other.posted.length, 1);
  assert.strictEqual(JSON.parse(paramsOf(other.posted[0])[2]).url, "http://other.example/page");
  assert.strictEqual(other.window.flashHost, undefined);
  assert.strictEqual(other.window.chrome.webview, undefined);

  // The web view's own pages report where they are, and nothing else.
  const error = open("chrome-error://chromewebdata/");
  assert.strictEqual(error.posted.length, 1);
  assert.strictEqual(error.window.flashHost, undefined);
  // A frame of the movie's origin inside the movie says nothing and gets no answers.
  const frame = open(process.argv[4], movie.window);
  assert.strictEqual(frame.posted.length, 0);
  assert.strictEqual(frame.window.chrome.webview, undefined);
  assert.strictEqual(await frame.window.flashHost.call("x"), null);
  console.log("viewer script: every check passed");
})().catch((e) => { console.error(e); process.exit(1); });
)JS";

TEST(ViewerScriptInAScriptEngine, ServesTheMovieAloneAndLeavesThePageNoWayToTheHost) {
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty()) {
        GTEST_SKIP() << "no Node here";
    }
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    FlashProperties properties = FlashProperties::PlayerDefaults();
    properties.SetValue(QStringLiteral("Menu"), QStringLiteral("false"));
    properties.SetValue(QStringLiteral("AllowFullScreen"), QStringLiteral("false"));
    const QString script = flashbridge::ViewerScript(
        properties, QUrl(kMovie),
        flashbridge::WebViewTransport(flashbridge::kWebViewBinding, kToken, properties));
    QFile scriptFile(folder.filePath(QStringLiteral("script.js")));
    ASSERT_TRUE(scriptFile.open(QIODevice::WriteOnly));
    scriptFile.write(script.toUtf8());
    scriptFile.close();
    QFile harness(folder.filePath(QStringLiteral("harness.js")));
    ASSERT_TRUE(harness.open(QIODevice::WriteOnly));
    harness.write(kHarness);
    harness.close();

    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(node, {harness.fileName(), scriptFile.fileName(), kToken, kMovie});
    ASSERT_TRUE(run.waitForFinished(60000));
    const QString output = QString::fromUtf8(run.readAll());
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("every check passed"))) << output.toStdString();
}

} // namespace
