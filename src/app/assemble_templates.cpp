// Build tool: assembles the templates that are made from partials, so that what is served and
// installed is a plain template (the template language has no include). The edit page gets one
// section per item kind from one partial, filled in from the kind's description, with the cell
// of the kind's setting from the partial of that setting's shape. Also writes, for the template
// check, the variables and blocks the item sections give the edit page.
//
// Usage: assemble_templates PARTIALS_DIR HTDOCS_OUT_DIR ITEMS_JSON
// In a partial, @KEY@ is replaced by the kind's value for KEY; a line holding only @ITEMS:<word>@
// or @SETTING_CELL@ is replaced by that partial. An unknown key fails the build.

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "diagram/item_kind.h"

namespace {

using namespace tg;
using Values = std::map<std::string, std::string, std::less<>>;

std::filesystem::path g_partials;

std::string readPartial(std::string_view name) {
    std::ifstream in(g_partials / name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read partial " + std::string(name));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// `text` with every @KEY@ replaced by its value; an unknown key or a lone '@' is an error.
std::string substitute(std::string_view text, const Values& values, std::string_view partial) {
    std::string out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t open = text.find('@', pos);
        out.append(text.substr(pos, open - pos));
        if (open == std::string_view::npos) return out;
        const std::size_t close = text.find('@', open + 1);
        const std::string_view key = close == std::string_view::npos
                                         ? text.substr(open)
                                         : text.substr(open + 1, close - open - 1);
        const auto value = values.find(key);
        if (close == std::string_view::npos || value == values.end()) {
            throw std::runtime_error(std::string(partial) + ": unknown placeholder @" +
                                     std::string(key.substr(0, 40)) + "@");
        }
        out += value->second;
        pos = close + 1;
    }
}

// `text` with each line that holds only @<marker>@ (and blanks) replaced by lineFor(marker).
template <class LineFor>
std::string expandLines(std::string_view text, LineFor lineFor) {
    std::string out;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        const std::size_t first = line.find_first_not_of(' ');
        const bool marker = first != std::string::npos && line[first] == '@' &&
                            line.back() == '@' && line.size() - first > 2 &&
                            line.find('@', first + 1) == line.size() - 1;
        if (marker) {
            out += lineFor(line.substr(first + 1, line.size() - first - 2));
        } else {
            out += line;
            out += '\n';
        }
    }
    return out;
}

std::string settingPartial(ItemSetting setting) {
    switch (setting) {
        case ItemSetting::Invert:
            return readPartial("setting_invert.html");
        case ItemSetting::Operation:
            return readPartial("setting_operation.html");
        case ItemSetting::None:
            break;
    }
    return {};
}

std::string itemSection(const ItemKind& kind) {
    std::string label(kind.noun);
    label[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[0])));
    const bool hasSetting = kind.setting != ItemSetting::None;
    const Values values{
        {"WORD", std::string(kind.word)},
        {"NOUN", std::string(kind.noun)},
        {"LABEL", label},
        {"PLURAL", std::string(kind.plural)},
        {"TITLE", std::string(kind.title)},
        {"HINT", std::string(kind.hint)},
        {"EMPTY_TEXT", std::string(kind.emptyText)},
        {"RECORD", std::string(kind.record)},
        {"NAME", std::string(kind.nameVariable)},
        {"FIELD", std::string(kind.fieldVariable)},
        {"REGEXP", std::string(kind.regexpVariable)},
        {"SETTING", std::string(kind.settingHeading)},
        {"SETTING_PARAMETER", std::string(kind.settingParameter)},
        {"SETTING_VARIABLE", std::string(kind.settingVariable)},
        {"SETTING_COLUMN", hasSetting ? "<th>" + std::string(kind.settingHeading) + "</th>" : ""},
    };
    const std::string section =
        expandLines(readPartial("item_section.html"), [&](std::string_view m) {
            if (m != "SETTING_CELL")
                throw std::runtime_error("item_section.html: unknown line @" + std::string(m) +
                                         "@");
            return settingPartial(kind.setting);
        });
    return substitute(section, values, "item_section.html");
}

std::string editPage() {
    return expandLines(readPartial("edit.html"), [](std::string_view marker) {
        constexpr std::string_view kItems = "ITEMS:";
        if (marker.substr(0, kItems.size()) == kItems) {
            for (const ItemKind* kind : kItemKinds) {
                if (kind->word == marker.substr(kItems.size())) return itemSection(*kind);
            }
        }
        throw std::runtime_error("edit.html: unknown line @" + std::string(marker) + "@");
    });
}

// {"edit": {"variables": [...], "records": [...]}}: what the item sections give the edit page.
std::string itemsJson() {
    std::string variables;
    std::string records;
    const auto add = [](std::string& list, std::string_view name) {
        if (!list.empty()) list += ", ";
        list += '"';
        list += name;
        list += '"';
    };
    for (const ItemKind* kind : kItemKinds) {
        add(records, kind->record);
        add(variables, kind->nameVariable);
        add(variables, kind->fieldVariable);
        add(variables, kind->regexpVariable);
        if (kind->setting != ItemSetting::None) add(variables, kind->settingVariable);
    }
    return "{\"edit\": {\"variables\": [" + variables + "], \"records\": [" + records + "]}}\n";
}

// Written only when it changes, so that what depends on it is not rebuilt needlessly.
void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (in && std::string(std::istreambuf_iterator<char>(in), {}) == text) return;
    in.close();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: assemble_templates PARTIALS_DIR HTDOCS_OUT_DIR ITEMS_JSON\n";
        return 2;
    }
    try {
        g_partials = argv[1];
        std::filesystem::create_directories(argv[2]);
        writeFile(std::filesystem::path(argv[2]) / "edit.html", editPage());
        writeFile(argv[3], itemsJson());
    } catch (const std::exception& e) {
        std::cerr << "assemble_templates: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
