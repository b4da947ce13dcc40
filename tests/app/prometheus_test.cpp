// Two real daemons scraped by a real Prometheus: the metrics pass promtool, need the account's
// credentials, and a diagram summed across both machines in Prometheus equals the sum of the
// two daemons' own data.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "config/config_store.h"
#include "daemon_process.h"
#include "daemon_store.h"
#include "http/account_store.h"
#include "support/base64_encode.h"
#include "support/loopback_client.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

constexpr const char* kPrometheus = "/usr/bin/prometheus";
constexpr const char* kPromtool = "/usr/bin/promtool";

std::string httpGet(std::uint16_t port, const std::string& target,
                    const std::string& credentials = "") {
    std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (!credentials.empty()) {
        request += "Authorization: Basic " + test::encodeBase64(credentials) + "\r\n";
    }
    return test::exchange(port, request + "\r\n");
}

using test::bodyOf;

std::vector<std::string> csvCells(const std::string& line) {
    std::vector<std::string> cells;
    std::istringstream in(line.substr(0, line.find('\r')));
    for (std::string cell; std::getline(in, cell, ',');) cells.push_back(cell);
    return cells;
}

// The sum of the column named `name` in a diagram's CSV (header row first).
double csvColumnSum(const std::string& csv, const std::string& name) {
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    const std::vector<std::string> header = csvCells(line);
    const std::size_t column = std::find(header.begin(), header.end(), name) - header.begin();
    EXPECT_LT(column, header.size()) << line;
    double sum = 0;
    while (std::getline(lines, line)) {
        const std::vector<std::string> cells = csvCells(line);
        if (column < cells.size()) sum += std::atof(cells[column].c_str());
    }
    return sum;
}

// The value of an instant query's only sample, or none.
std::optional<double> queryValue(std::uint16_t port, const std::string& encodedQuery) {
    const std::string body = bodyOf(httpGet(port, "/api/v1/query?query=" + encodedQuery));
    const std::size_t value = body.find("\"value\":[");
    if (value == std::string::npos) return std::nullopt;
    const std::size_t quote = body.find(",\"", value);
    if (quote == std::string::npos) return std::nullopt;
    return std::atof(body.c_str() + quote + 2);
}

std::size_t count(const std::string& text, const std::string& word) {
    std::size_t found = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++found;
    }
    return found;
}

struct Machine {
    Machine(const test::TempDir& dir, const std::string& name, const std::string& lines)
        : store(dir.file(name + ".db")), log(dir.file(name + ".log")) {
        std::ofstream(log) << lines;
        test::defineWebStore(store, log, reserved.port());
        ConfigStore config(store);
        AccountStore accounts(config);
        EXPECT_EQ(accounts.saveAccount("scraper", "s3cret", AccountType::ViewOnly), 0);
    }
    void start(const test::TempDir& dir, const std::string& name) {
        daemon = std::make_unique<test::DaemonProcess>(
            std::vector<std::string>{"--store", store, "--bind", "127.0.0.1"},
            dir.file(name + ".err"));
    }
    std::uint16_t port() const { return reserved.port(); }

    test::ReservedPort reserved;
    std::string store;
    std::string log;
    std::unique_ptr<test::DaemonProcess> daemon;
};

TEST(PrometheusTest, SumsOneDiagramAcrossTwoDaemonsWithBasicAuth) {
    if (!std::filesystem::exists(kPrometheus) || !std::filesystem::exists(kPromtool)) {
        GTEST_SKIP() << "needs the prometheus package (" << kPrometheus << ", " << kPromtool << ")";
    }
    test::TempDir dir;
    Machine first(dir, "first", "200 10\n404 1\n200 5\n");
    Machine second(dir, "second", "200 7\n500 3\n");
    first.start(dir, "first");
    second.start(dir, "second");

    // Each daemon's own data, once it has read its log.
    double expected = 0;
    for (const Machine* machine : {&first, &second}) {
        ASSERT_TRUE(test::waitFor([&] { return test::accepting(machine->port()); }));
        std::string csv;
        ASSERT_TRUE(test::waitFor([&] {
            csv =
                bodyOf(httpGet(machine->port(), "/diagram.csv?name=by%20status", "scraper:s3cret"));
            return count(csv, "\r\n") == 3;  // header and two labels
        })) << csv;
        expected += csvColumnSum(csv, "bytes");
        EXPECT_NE(httpGet(machine->port(), "/metrics").find(" 401 "), std::string::npos);
    }
    EXPECT_EQ(expected, 26);

    const std::string metrics = dir.file("metrics.txt");
    std::ofstream(metrics) << bodyOf(httpGet(first.port(), "/metrics", "scraper:s3cret"));
    const std::string check = std::string(kPromtool) + " check metrics < " + metrics + " > " +
                              dir.file("promtool.out") + " 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0) << std::ifstream(dir.file("promtool.out")).rdbuf();

    test::ReservedPort prometheusPort;
    const std::string config = dir.file("prometheus.yml");
    std::ofstream(config) << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                          << "scrape_configs:\n  - job_name: tessellgrove\n"
                          << "    basic_auth:\n      username: scraper\n      password: s3cret\n"
                          << "    static_configs:\n      - targets: ['127.0.0.1:" << first.port()
                          << "', '127.0.0.1:" << second.port() << "']\n";
    test::DaemonProcess prometheus(
        kPrometheus,
        {"--config.file=" + config, "--storage.tsdb.path=" + dir.file("tsdb"),
         "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort.port())},
        dir.file("prometheus.err"));
    ASSERT_TRUE(prometheus.started());
    ASSERT_TRUE(test::waitFor([&] { return test::accepting(prometheusPort.port()); }))
        << prometheus.errors();
    EXPECT_TRUE(test::waitFor([&] {
        return count(httpGet(prometheusPort.port(), "/api/v1/targets?state=active"),
                     "\"health\":\"up\"") == 2;
    })) << prometheus.errors();
    // sum(tessellgrove_diagram_value{diagram="by status",axis="bytes"})
    const std::string query =
        "sum(tessellgrove_diagram_value%7Bdiagram%3D%22by%20status%22%2Caxis%3D%22bytes%22%7D)";
    std::optional<double> summed;
    EXPECT_TRUE(test::waitFor([&] {
        summed = queryValue(prometheusPort.port(), query);
        return summed == expected;
    })) << (summed ? *summed : -1);

    prometheus.signal(SIGTERM);
    EXPECT_EQ(prometheus.waitExit(), 0);
    for (Machine* machine : {&first, &second}) test::expectCleanStop(*machine->daemon);
}

}  // namespace
}  // namespace tg
