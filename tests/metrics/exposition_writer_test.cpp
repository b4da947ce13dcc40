#include "metrics/exposition_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "support/temp_dir.h"

namespace tg {
namespace {

TEST(ExpositionWriterTest, OddLabelValuesComeOutEscapedUtf8) {
    struct Row {
        std::string raw;
        std::string written;
    };
    const Row rows[] = {
        {"", ""},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"C:\\logs\\", "C:\\\\logs\\\\"},
        {"two\nlines\r", "two\\nlines\r"},
        {"caf\xE9 \x80 5", "caf\xC3\xA9 \xE2\x82\xAC 5"},                  // Windows-1252 to UTF-8
        {"caf\xC3\xA9 \xF0\x9F\x93\x88", "caf\xC3\xA9 \xF0\x9F\x93\x88"},  // UTF-8 stays
        {"\xC3\x28 \xED\xA0\x80", "\xC3\x83( \xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // not UTF-8
        {"\x81\x9F\xFF", "\xC2\x81\xC5\xB8\xC3\xBF"},  // undefined, Y diaeresis, y diaeresis
        {"\xE9\"\\", "\xC3\xA9\\\"\\\\"},
    };
    ExpositionWriter writer(ExpositionFormat::Text);
    writer.family("odd", ExpositionWriter::Type::Gauge, "Odd\\labels\nhere.");
    for (const Row& row : rows) writer.sample({{"a", row.raw}, {"b", "x"}}, 1.0);
    const std::string text = writer.finish();
    std::string expected = "# HELP odd Odd\\\\labels\\nhere.\n# TYPE odd gauge\n";
    for (const Row& row : rows) expected += "odd{a=\"" + row.written + "\",b=\"x\"} 1\n";
    EXPECT_EQ(text, expected);

    // The real parser agrees, where it is installed.
    if (!std::filesystem::exists("/usr/bin/promtool")) return;
    test::TempDir dir;
    std::ofstream(dir.file("m.txt")) << text;
    const std::string command = "/usr/bin/promtool check metrics < " + dir.file("m.txt") + " > " +
                                dir.file("out") + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << std::ifstream(dir.file("out")).rdbuf();
}

TEST(ExpositionWriterTest, CountersAndNumbersAsEachFormatWantsThem) {
    for (const ExpositionFormat format : {ExpositionFormat::Text, ExpositionFormat::OpenMetrics}) {
        SCOPED_TRACE(static_cast<int>(format));
        ExpositionWriter writer(format);
        writer.family("hits", ExpositionWriter::Type::Counter, "Hits.");
        writer.sample({}, std::uint64_t{18446744073709551615u});
        writer.family("level", ExpositionWriter::Type::Gauge, "Level.");
        writer.sample({{"k", "nan"}}, std::nan(""));
        writer.sample({{"k", "up"}}, std::numeric_limits<double>::infinity());
        writer.sample({{"k", "down"}}, -std::numeric_limits<double>::infinity());
        writer.sample({{"k", "tenth"}}, 0.1);
        writer.sample({{"k", "big"}}, 1e21);
        const std::string body =
            "hits_total 18446744073709551615\n# HELP level Level.\n# TYPE level gauge\n"
            "level{k=\"nan\"} NaN\nlevel{k=\"up\"} +Inf\nlevel{k=\"down\"} -Inf\n"
            "level{k=\"tenth\"} 0.1\nlevel{k=\"big\"} 1e+21\n";
        if (format == ExpositionFormat::Text) {
            EXPECT_EQ(writer.finish(),
                      "# HELP hits_total Hits.\n# TYPE hits_total counter\n" + body);
        } else {
            EXPECT_EQ(writer.finish(),
                      "# HELP hits Hits.\n# TYPE hits counter\n" + body + "# EOF\n");
        }
    }
    EXPECT_EQ(formatForAccept("application/openmetrics-text;version=1.0.0,text/plain;q=0.5"),
              ExpositionFormat::OpenMetrics);
    EXPECT_EQ(formatForAccept("text/plain;version=0.0.4;q=0.3,*/*;q=0.2"), ExpositionFormat::Text);
    EXPECT_EQ(formatForAccept(""), ExpositionFormat::Text);
}

}  // namespace
}  // namespace tg
