// Fetches channel pages of 100 KiB and 4 MiB from a loopback server through GetStreamIDFromURL
// and, in the same run and interleaved with it, with libcurl in this process (an easy handle,
// the same agent text, redirects followed, the body kept in memory: the fetch alone, without the
// page's conversion and search), and prints the time ratio ours / libcurl (the median of the
// per-round ratios, with min and max) and the throughput of the page text conversion. The curl
// command-line tool's whole run is shown as well; it is mostly the tool's own start.
//
//   lookup_bench [rounds]      (default 15)
#include "discovery/channel_page_lookup.h"
#include "discovery/http_get.h"
#include "discovery/page_text.h"
#include "tests/support/loopback_server.h"

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
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

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Spread {
    double min, median, max;
};

Spread SpreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

size_t Append(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// The same fetch with libcurl alone: a fresh easy handle, as each lookup makes one.
double TimeLibcurl(const std::string& url, size_t expectedSize) {
    const auto start = Clock::now();
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "HTTP Get Tevora Application ver-1.00");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    const double ms = MillisecondsSince(start);
    if (result != CURLE_OK || body.size() != expectedSize) {
        std::fprintf(stderr, "libcurl fetch failed for %s\n", url.c_str());
        std::exit(1);
    }
    return ms;
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
    // The program refuses pages over 1 MiB; here the large page measures the fetch and the
    // conversion at size, so the limit is raised for this run.
    HttpLimits limits;
    limits.maxPageBytes = qint64{8} * 1024 * 1024;
    const platform::ScopedService<HttpLimits> useLimits(limits);

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

    std::printf("%d rounds, interleaved; min / median / max\n", rounds);
    for (const Page& page : pages) {
        const std::string url = server.Url(page.path);
        const QString qurl = QString::fromStdString(url);
        TimeOurs(qurl); // warm up all three, and the server's threads
        TimeLibcurl(url, page.body.size());
        TimeCurl(url);
        std::vector<double> ours;
        std::vector<double> libcurl;
        std::vector<double> ratios;
        std::vector<double> tool;
        for (int i = 0; i < rounds; ++i) { // interleaved, so all see the same machine load
            ours.push_back(TimeOurs(qurl));
            libcurl.push_back(TimeLibcurl(url, page.body.size()));
            ratios.push_back(ours.back() / libcurl.back());
            tool.push_back(TimeCurl(url).processMs);
        }
        const QByteArray received(page.body.data(), static_cast<qsizetype>(page.body.size()));
        std::vector<double> convert;
        for (int i = 0; i < rounds; ++i) {
            const auto start = Clock::now();
            const QString text = ConvertPageText(received);
            convert.push_back(static_cast<double>(page.body.size()) / 1e6 /
                              (MillisecondsSince(start) / 1e3));
            if (text.isEmpty()) {
                return 1;
            }
        }
        const Spread o = SpreadOf(ours), l = SpreadOf(libcurl), r = SpreadOf(ratios);
        const Spread t = SpreadOf(tool), c = SpreadOf(convert);
        std::printf("%s page:\n", page.name);
        std::printf("  GetStreamIDFromURL       %8.2f / %8.2f / %8.2f ms\n", o.min, o.median,
                    o.max);
        std::printf("  libcurl in this process  %8.2f / %8.2f / %8.2f ms\n", l.min, l.median,
                    l.max);
        std::printf("  ratio ours / libcurl     %8.2f / %8.2f / %8.2f\n", r.min, r.median, r.max);
        std::printf("  curl command, whole run  %8.2f / %8.2f / %8.2f ms\n", t.min, t.median,
                    t.max);
        std::printf("  page text conversion     %8.1f / %8.1f / %8.1f MB/s\n", c.min, c.median,
                    c.max);
    }
    return 0;
}
