// tgctl parse: feeds a log to record parsing as a reader would and prints every record that a
// listener receives.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "config/config_store.h"
#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "datasource/list_text.h"
#include "platform/unique_fd.h"
#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {
namespace {

// Prints well-formed records as their values joined by TAB, and error records (those that
// reach observers only) behind "! ".
class PrintingListener final : public RecordListener {
public:
    void observeRecord(const Record& record, const FieldNames&) override {
        finish();  // an observed record that was not processed was an error record
        m_observed = record;
        m_hasObserved = true;
    }
    void processRecord(const Record& record, const FieldNames&) override {
        m_hasObserved = false;
        print("", record);
    }
    void reset() override {}
    void finish() {
        if (m_hasObserved) print("! ", m_observed);
        m_hasObserved = false;
    }

private:
    static void print(const char* prefix, const Record& record) {
        std::fputs(prefix, stdout);
        for (std::size_t i = 0; i < record.size(); ++i) {
            if (i) std::fputc('\t', stdout);
            std::fwrite(record[i].data(), 1, record[i].size(), stdout);
        }
        std::fputc('\n', stdout);
    }

    Record m_observed;
    bool m_hasObserved = false;
};

FieldNames defaultFields(const std::string& regexp) {
    RegExp pattern;
    pattern.compile(regexp);
    FieldNames names;
    for (std::size_t i = 1; i <= std::min(pattern.groupCount(), kMaxGroups); ++i) {
        names.push_back("f" + std::to_string(i));
    }
    return names;
}

// Reads `fd` to its end in reader-sized chunks.
void feed(int fd, const std::string& name, DataSource& dataSource) {
    SourceFeed source(dataSource);  // no reader runs: this tool feeds the source itself
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd, buffer, 8191);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw CommandError("cannot read " + name + ": " + std::strerror(errno));
        }
        source.parseChunk(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    // The input has ended, so its last line is complete even without a line end.
    if (!source.pending().empty()) source.parseChunk("\n");
}

}  // namespace

void runParseCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    const CommandLine line(words, {"--regexp", "--fields", "--backup"}, {});
    line.expectAtMost(1);
    const auto regexp = line.option("--regexp");
    if (!regexp) throw UsageError("parse needs --regexp");
    const std::string input = line.positionals().empty() ? "-" : line.positionals()[0];

    UniqueFd file;
    if (input != "-") {
        file.reset(open(input.c_str(), O_RDONLY | O_CLOEXEC));
        if (!file) throw CommandError("cannot open " + input + ": " + std::strerror(errno));
    }
    const int fd = file ? file.get() : STDIN_FILENO;

    // The store matters only for the duplicate log's separator; without --backup, or without a
    // store file, nothing is read from the user's store or created there.
    std::unique_ptr<ConfigStore> scratch;
    ConfigStore* store = nullptr;
    std::error_code noStore;
    if (line.option("--backup") && std::filesystem::exists(stores.path(), noStore)) {
        store = &stores.existingStore();
    } else {
        scratch = std::make_unique<ConfigStore>(":memory:");
        store = scratch.get();
    }

    DataSource source("tgctl", *store);
    source.setRegexp(*regexp);
    const auto fields = line.option("--fields");
    source.setFields(fields ? splitList(*fields + ",", ',') : defaultFields(*regexp));
    if (const auto backup = line.option("--backup")) source.setBackup(*backup);

    static char outputBuffer[1 << 16];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
    PrintingListener printer;
    source.attach(printer);
    feed(fd, input == "-" ? "standard input" : input, source);
    printer.finish();
    source.detach(printer);
    if (std::fflush(stdout) != 0) throw CommandError("cannot write to standard output");
}

}  // namespace tg
