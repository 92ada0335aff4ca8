// Fetches channel pages of 100 KiB and 4 MiB from a loopback server through GetStreamIDFromURL
// and, in the same run, with the curl command-line tool, and prints the time ratio (ours/curl)
// and the throughput of the page text conversion. The ratio compares with the whole run of the
// tool, start-up included, as a user waits for it; the tool's own transfer time is shown too.
//
//   lookup_bench [rounds]      (default 15; medians are reported)
#include "discovery/channel_page_lookup.h"
#include "discovery/page_text.h"
#include "tests/support/loopback_server.h"

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// A channel page as the service might send it: a title, the embed mark-up with the stream id,
// then lines of mostly ASCII mark-up with some Japanese text, up to size bytes.
std::string MakePage(size_t size) {
    std::string page = "<html><head><title>TEVORA: 深夜の雑談ラジオ: live</title></head>\n"
                       "<body><object data=\"viewer.swf?cid=abcdefg\"></object>\n";
    for (int line = 0; page.size() < size; ++line) {
        page += line % 8 == 0
                    ? "<p class=\"comment\">今夜のゲストは東京から。チャット歓迎です！</p>\n"
                    : "<div class=\"row\"><a href=\"/channel/12345\">channel link</a></div>\n";
    }
    page.resize(size);
    return page;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double TimeOurs(const QString& url) {
    const auto start = Clock::now();
    QString streamId;
    QString title;
    if (!GetStreamIDFromURL(url, streamId, title) || streamId != QStringLiteral("abcdefg")) {
        std::fprintf(stderr, "lookup failed for %s\n", qPrintable(url));
        std::exit(1);
    }
    return MillisecondsSince(start);
}

struct CurlTimes {
    double processMs;  // the whole run of the tool, as the user would wait for it
    double transferMs; // the tool's own measure of the transfer
};

CurlTimes TimeCurl(const std::string& url) {
    const char* argv[] = {"curl",          "-s",        "-o",   "/dev/null", "-w",
                          "%{time_total}", url.c_str(), nullptr};
    int out[2];
    if (pipe(out) != 0) {
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, "curl", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        std::fprintf(stderr, "cannot start curl\n");
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = MillisecondsSince(start);
    char text[64] = {};
    const ssize_t n = read(out[0], text, sizeof text - 1);
    close(out[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || n <= 0) {
        std::fprintf(stderr, "curl failed for %s\n", url.c_str());
        std::exit(1);
    }
    return {ms, std::atof(text) * 1000.0};
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    setenv("no_proxy", "127.0.0.1", 1); // both clients go straight to the loopback server

    struct Page {
        const char* name;
        std::string path;
        std::string body;
    };
    std::vector<Page> pages = {{"100 KiB", "/page-100k", MakePage(size_t{100} * 1024)},
                               {"4 MiB", "/page-4m", MakePage(size_t{4} * 1024 * 1024)}};
    testsupport::LoopbackServer server;
    for (const Page& page : pages) {
        const std::string* body = &page.body;
        server.Server().Get(page.path, [body](const httplib::Request&, httplib::Response& res) {
            res.set_content(*body, "text/html; charset=utf-8");
        });
    }
    server.Start();

    std::printf("%-8s %10s %10s %8s %18s %14s\n", "page", "ours ms", "curl ms", "ratio",
                "curl transfer ms", "convert MB/s");
    for (const Page& page : pages) {
        const std::string url = server.Url(page.path);
        const QString qurl = QString::fromStdString(url);
        TimeOurs(qurl); // warm up both, and the server's threads
        TimeCurl(url);
        std::vector<double> ours;
        std::vector<double> curl;
        std::vector<double> curlTransfer;
        for (int i = 0; i < rounds; ++i) { // interleaved, so both see the same machine load
            ours.push_back(TimeOurs(qurl));
            const CurlTimes times = TimeCurl(url);
            curl.push_back(times.processMs);
            curlTransfer.push_back(times.transferMs);
        }
        const QByteArray received(page.body.data(), static_cast<qsizetype>(page.body.size()));
        std::vector<double> convert;
        for (int i = 0; i < rounds; ++i) {
            const auto start = Clock::now();
            const QString text = ConvertPageText(received);
            convert.push_back(MillisecondsSince(start));
            if (text.isEmpty()) {
                return 1;
            }
        }
        const double oursMs = Median(ours);
        const double curlMs = Median(curl);
        const double mbPerSecond =
            static_cast<double>(page.body.size()) / 1e6 / (Median(convert) / 1e3);
        std::printf("%-8s %10.2f %10.2f %8.2f %18.2f %14.1f\n", page.name, oursMs, curlMs,
                    oursMs / curlMs, Median(curlTransfer), mbPerSecond);
    }
    return 0;
}
