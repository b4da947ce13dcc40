// Log bytes on their way out as a metrics label value and a CSV cell: the UTF-8 conversion
// always gives valid UTF-8 and keeps valid UTF-8 as it is, a label value never carries a raw
// line feed or an unescaped quote, and a CSV cell reads back as the converted text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "metrics/diagram_export.h"
#include "metrics/exposition_writer.h"
#include "metrics/utf8_text.h"

namespace {

// Strict UTF-8: no overlong forms, surrogates or code points beyond U+10FFFF.
bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        char32_t code = lead;
        if (lead >= 0x80) {
            if (lead >= 0xC2 && lead <= 0xDF) {
                length = 2, code = lead & 0x1F;
            } else if (lead >= 0xE0 && lead <= 0xEF) {
                length = 3, code = lead & 0x0F;
            } else if (lead >= 0xF0 && lead <= 0xF4) {
                length = 4, code = lead & 0x07;
            } else {
                return false;
            }
            if (text.size() - i < length) return false;
            for (std::size_t k = 1; k < length; ++k) {
                const auto next = static_cast<unsigned char>(text[i + k]);
                if ((next & 0xC0) != 0x80) return false;
                code = (code << 6) | (next & 0x3F);
            }
            const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
            if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string converted = tg::toUtf8(input);
    check(isValidUtf8(converted));
    if (isValidUtf8(input)) check(converted == input);

    std::string label;
    tg::appendLabelValue(label, input);
    check(isValidUtf8(label));
    check(label.find('\n') == std::string::npos);
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '\\') {
            check(i + 1 < label.size());
            check(label[i + 1] == '\\' || label[i + 1] == '"' || label[i + 1] == 'n');
            ++i;
        } else {
            check(label[i] != '"');
        }
    }

    // One label, no axis: "label\r\n" + the cell + "\r\n".
    tg::DiagramTable table;
    table.labels = {std::string(input)};
    const std::string csv = tg::diagramCsv(table);
    std::string_view cell(csv);
    cell.remove_prefix(7);
    check(cell.size() >= 2 && cell.substr(cell.size() - 2) == "\r\n");
    cell.remove_suffix(2);
    std::string read;
    if (!cell.empty() && cell.front() == '"') {
        check(cell.size() >= 2 && cell.back() == '"');
        for (std::size_t i = 1; i + 1 < cell.size(); ++i) {
            read += cell[i];
            if (cell[i] == '"') check(cell[++i] == '"');
        }
    } else {
        check(cell.find_first_of(",\"\r\n") == std::string_view::npos);
        read = cell;
    }
    check(read == converted);
    return 0;
}
