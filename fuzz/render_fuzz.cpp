// Fuzzes template rendering: the first byte chooses how many rows (0 to 3) each record kind of
// a fake page has, the rest is the template. Rendering must end, report exactly one engine
// error when it fails and none when it succeeds, and copy a template without asterisks
// unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "web/template_engine.h"

namespace {

class FakePage : public tg::TemplatePage {
public:
    explicit FakePage(unsigned rowChoice) : engine(*this) {
        engine.setWorkLimit(std::size_t{1}
                            << 18);  // keeps each input fast; still exponential-proof
        engine.setVariable("A", "a<&>\"'");
        engine.setVariable("B", "*A*");
        engine.setVariable("", "empty-name");
        engine.setRawVariable("R", "<b>raw</b>");
        for (int i = 0; i < 3; ++i) m_rows[i] = (rowChoice >> (2 * i)) & 3;
    }

    bool prepare(const tg::RequestVariables&) override { return true; }
    bool expandRecord(std::string_view block, tg::RecordKind kind, std::string& out) override {
        int list = 0;
        switch (kind) {
            case tg::RecordKind::GroupRecord:
                list = 0;
                break;
            case tg::RecordKind::FilterRecord:
                list = 1;
                break;
            case tg::RecordKind::Data:
                list = 2;
                break;
            default:
                return true;
        }
        for (unsigned row = 0; row < m_rows[list]; ++row) {
            engine.setVariable("GROUPNAME", std::string(row + 1, 'g'));
            engine.setVariable("VALUE", "<" + std::to_string(row) + ">");
            if (!engine.render(block, out)) return false;
        }
        return true;
    }
    tg::RecordKind recordKindOf(std::string_view openToken) override {
        return tg::findRecordKind(openToken, {tg::RecordKind::GroupRecord,
                                              tg::RecordKind::FilterRecord, tg::RecordKind::Data});
    }
    void templateFailed(std::string message) override { errors.push_back(std::move(message)); }

    tg::TemplateEngine engine;
    std::vector<std::string> errors;

private:
    unsigned m_rows[3] = {};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    FakePage page(data[0]);
    std::string out;
    const bool ok = page.engine.render(text, out);
    if (page.errors.size() != (ok ? 0u : 1u)) std::abort();
    if (text.find('*') == std::string_view::npos && (!ok || out != text)) std::abort();
    return 0;
}
