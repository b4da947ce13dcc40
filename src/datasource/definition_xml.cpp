#include "datasource/definition_xml.h"

#include <climits>

#include "platform/code_page.h"

namespace tg {
namespace {

// Collects what pugixml writes.
class StringWriter final : public pugi::xml_writer {
public:
    explicit StringWriter(std::string& out) : m_out(out) {}
    void write(const void* data, std::size_t size) override {
        m_out.append(static_cast<const char*>(data), size);
    }

private:
    std::string& m_out;
};

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string describe(pugi::xml_node element, const char* attribute) {
    return std::string("the attribute ") + attribute + " of " + element.name();
}

}  // namespace

pugi::xml_node DefinitionXml::startDocument(std::string_view comment, const char* rootName) {
    m_document.reset();
    m_error.clear();
    // Written as a processing instruction, as the documents always began; pugixml would
    // write its own declaration with double quotes.
    pugi::xml_node declaration = m_document.append_child(pugi::node_pi);
    declaration.set_name("xml");
    declaration.set_value("version='1.0' encoding='UTF-8'");
    m_document.append_child(pugi::node_comment).set_value(std::string(comment).c_str());
    return m_document.append_child(rootName);
}

bool DefinitionXml::put(pugi::xml_node element, const char* name, std::string_view value) {
    const auto converted = codePageToUtf8(value);
    if (!converted) {
        if (m_error.empty()) {
            m_error = describe(element, name) + " holds a NUL byte or cannot be converted to UTF-8";
        }
        return false;
    }
    element.append_attribute(name).set_value(converted->c_str());
    return true;
}

std::string DefinitionXml::text() const {
    std::string out;
    if (!m_error.empty()) return out;
    StringWriter writer(out);
    // format_raw: no indentation and no line breaks; the declaration is ours.
    m_document.save(writer, "", pugi::format_raw | pugi::format_no_declaration,
                    pugi::encoding_utf8);
    return out;
}

bool DefinitionXml::parse(std::string_view text) {
    m_error.clear();
    m_document.reset();
    if (text.size() > kMaxDefinitionXml) {
        m_error = "the file is larger than 16 MiB";
        return false;
    }
    // parse_default leaves out parse_doctype: a DOCTYPE is skipped, not kept or interpreted.
    // pugixml reads no external entity and expands only the five predefined ones and
    // character references; any other reference stays as it is written.
    const pugi::xml_parse_result result =
        m_document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result) {
        m_error = std::string("not a well-formed XML document: ") + result.description() +
                  " at byte " + std::to_string(result.offset);
        return false;
    }
    return true;
}

pugi::xml_node DefinitionXml::root(const char* name) const {
    const pugi::xml_node last = m_document.last_child();
    if (last.type() != pugi::node_element || std::string_view(last.name()) != name) return {};
    return last;
}

bool DefinitionXml::get(pugi::xml_node element, const char* name, std::string& value) {
    const auto converted = utf8ToCodePage(element.attribute(name).value());
    if (!converted) {
        if (m_error.empty()) {
            m_error = describe(element, name) +
                      " is not UTF-8 or holds a character that Windows-1252 cannot hold";
        }
        return false;
    }
    value = std::move(*converted);
    return true;
}

bool isNamedIgnoringCase(pugi::xml_node node, std::string_view name) {
    const std::string_view nodeName = node.name();
    if (node.type() != pugi::node_element || nodeName.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (lowerAscii(nodeName[i]) != lowerAscii(name[i])) return false;
    }
    return true;
}

int leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;  // past either limit
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

std::string low16Text(std::uint32_t value) {
    return std::to_string(static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF)));
}

}  // namespace tg
