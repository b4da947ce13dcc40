// Fuzzes record parsing: the input's first line is the expression, the rest is log text fed
// in chunks whose sizes come from the text itself. Whatever the cuts, the records delivered
// must equal those of feeding the text whole. Back-references are left out of the expressions:
// glibc matches them in exponential time, which says nothing about chunking and only makes the
// fuzzer hang. The expression may be long: deeply nested ones must be refused, never crash.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "datasource/data_source.h"
#include "datasource/source_feed.h"

namespace {

class Collector : public tg::RecordListener {
public:
    void processRecord(const tg::Record& record, const tg::FieldNames&) override {
        calls.push_back("p");
        for (const auto& value : record) calls.back() += "\x1f" + value;
    }
    void observeRecord(const tg::Record& record, const tg::FieldNames&) override {
        calls.push_back("o");
        for (const auto& value : record) calls.back() += "\x1f" + value;
    }
    void reset() override {}
    std::vector<std::string> calls;
};

std::vector<std::string> parse(tg::ConfigStore& store, std::string_view pattern,
                               std::string_view text, bool cut) {
    tg::DataSource source("fuzz", store);
    source.setRegexp(pattern);
    source.setFields({"a", "b"});
    Collector collector;
    source.attach(collector);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t size =
            cut ? 1 + static_cast<unsigned char>(text[at]) % 17 : text.size() - at;
        tg::SourceFeed(source).parseChunk(text.substr(at, size));
        at += size;
    }
    source.detach(collector);
    return collector.calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tg::ConfigStore store(":memory:");
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t end = input.find('\n');
    if (end == std::string_view::npos || size > 65536) return 0;
    const std::string_view pattern = input.substr(0, end);
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '\\' && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') return 0;
    }
    const std::string_view text = input.substr(end + 1);
    if (parse(store, pattern, text, false) != parse(store, pattern, text, true)) std::abort();
    return 0;
}
