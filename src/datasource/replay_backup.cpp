// Replaying the duplicate log: a diagram's rebuild reads back every accepted record.

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "datasource/data_source.h"
#include "datasource/list_text.h"

namespace tg {
namespace {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct Free {
    void operator()(char* memory) const { std::free(memory); }
};

// Reads lines whole, however long, zero bytes included.
class LineReader {
public:
    explicit LineReader(std::FILE* file) : m_file(file) {}
    // The next line without its LF; false at the end of the file.
    bool next(std::string_view& line) {
        char* buffer = m_buffer.release();
        const ssize_t length = getline(&buffer, &m_capacity, m_file);
        m_buffer.reset(buffer);
        if (length <= 0) return false;
        line = std::string_view(buffer, static_cast<std::size_t>(length));
        if (line.back() == '\n') line.remove_suffix(1);
        return true;
    }

private:
    std::FILE* m_file;
    std::unique_ptr<char, Free> m_buffer;
    std::size_t m_capacity = 0;
};

}  // namespace

int DataSource::replayBackup(RecordListener* listener, unsigned limit) {
    std::lock_guard lock(m_lock);
    if (m_definition.backup.empty()) return 0;
    [[maybe_unused]] const int error = writeDuplicates();  // the reader reports failures
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(m_definition.backup.c_str(), "rb"));
    // Records the log could not take yet were delivered all the same: they are replayed after it.
    std::unique_ptr<std::FILE, FileClose> queued(
        m_duplicateQueue.empty()
            ? nullptr
            : fmemopen(m_duplicateQueue.data(), m_duplicateQueue.size(), "rb"));
    if (!file && !queued) return 0;
    const char separator = m_store.listSeparator();
    unsigned counter = 0;
    for (std::FILE* source : {file.get(), queued.get()}) {
        if (!source) continue;
        // Whole lines, however long: a record longer than the line buffer is never cut into
        // pieces that could pass for records.
        LineReader lines(source);
        for (std::string_view line; lines.next(line);) {
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            const Record values = splitEscapedList(line, separator);
            if (listener && values.size() == m_definition.fields.size()) {
                listener->processRecord(values, m_definition.fields);
            }
            if (limit > 0 && counter++ > limit) return 1;
        }
    }
    return 1;
}

}  // namespace tg
