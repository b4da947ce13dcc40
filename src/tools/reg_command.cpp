// tgctl reg: reads and edits the key tree of the store below the product key, the way the
// registry editor does on Windows. Reading commands (list, get, dump) need an existing store and
// never create keys or write defaults; only set and delete change the store, and only while
// tessellgroved does not hold it (it would write its own copy of the definitions back).

#include <charconv>
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_store.h"
#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {
namespace {

// A KEY argument: backslash-separated below the product key. Empty components are dropped,
// so "", "\" and "\sources\web\" name the product key and sources\web.
class KeyArg {
public:
    explicit KeyArg(std::string_view text) {
        while (!text.empty()) {
            const std::size_t end = text.find('\\');
            const std::string_view part = text.substr(0, end);
            if (!part.empty()) m_parts.emplace_back(part);
            if (end == std::string_view::npos) break;
            text.remove_prefix(end + 1);
        }
    }
    bool isProductKey() const { return m_parts.empty(); }
    const std::string& last() const { return m_parts.back(); }
    KeyArg parent() const {
        KeyArg up("");
        up.m_parts.assign(m_parts.begin(), m_parts.end() - 1);
        return up;
    }
    // As users write it; the product key itself is "\".
    std::string display() const {
        if (m_parts.empty()) return "\\";
        std::string text;
        for (const std::string& part : m_parts) text += (text.empty() ? "" : "\\") + part;
        return text;
    }
    std::string fullPath() const {
        std::string path(kProductKey);
        for (const std::string& part : m_parts) path += "\\" + part;
        return path;
    }

private:
    std::vector<std::string> m_parts;
};

KeyId existingKey(ConfigStore& store, const KeyArg& key) {
    std::optional<KeyId> id = store.findKey(kRootKey, key.fullPath());
    if (!id) throw CommandError("no key " + key.display());
    return *id;
}

std::string toHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::string typeName(ValueType type) {
    switch (type) {
        case ValueType::String:
            return "REG_SZ";
        case ValueType::Dword:
            return "REG_DWORD";
        case ValueType::Binary:
            return "REG_BINARY";
    }
    return "type " + std::to_string(static_cast<int>(type));
}

// A DWORD in decimal, a text as it is, anything else (a damaged DWORD too) in hexadecimal.
std::string valueText(const ConfigValue& value) {
    if (value.type == ValueType::String) return value.data;
    if (value.type == ValueType::Dword) {
        if (std::optional<std::uint32_t> number = decodeDword(value.data)) {
            return std::to_string(*number);
        }
    }
    return toHex(value.data);
}

// Decimal 0..4294967295 or 0x followed by hexadecimal digits; nothing else (no sign, no
// blanks, no trailing text).
std::uint32_t parseDword(const std::string& text) {
    std::string_view digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, ec] = std::from_chars(digits.data(), end, value, base);
    if (digits.empty() || digits[0] == '-' || digits[0] == '+' || ec != std::errc{} ||
        stop != end) {
        throw UsageError("--dword needs a number from 0 to 4294967295, not \"" + text + "\"");
    }
    return value;
}

// Each command checks its words before it opens the store: a usage error stays one.
void listKey(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const KeyArg key(line.positional(1, "KEY"));
    ConfigStore& store = stores.existingStore();
    for (const std::string& name : store.subKeyNames(existingKey(store, key))) {
        std::cout << name << '\n';
    }
}

void getValue(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(3);
    const KeyArg key(line.positional(1, "KEY"));
    const std::string& name = line.positional(2, "VALUE");
    ConfigStore& store = stores.existingStore();
    const KeyId id = existingKey(store, key);
    ConfigValue value;
    const int rc = store.readValue(id, name, value);
    if (rc == kStoreMissing) throw CommandError("no value " + name + " under " + key.display());
    if (rc != kStoreOk) throw CommandError("cannot read " + name + ": " + store.lastError());
    std::cout << valueText(value) << '\n';
}

void setValue(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(3);
    const KeyArg key(line.positional(1, "KEY"));
    const std::string& name = line.positional(2, "VALUE");
    const std::optional<std::string> text = line.option("--string");
    const std::optional<std::string> number = line.option("--dword");
    if (text.has_value() == number.has_value()) {
        throw UsageError("reg set needs either --string TEXT or --dword N");
    }
    const std::uint32_t dword = number ? parseDword(*number) : 0;
    const auto lock = lockStoreForChange(stores);
    ConfigStore& store = stores.store();
    std::optional<KeyId> id = store.createKey(kRootKey, key.fullPath());
    if (!id) throw CommandError("cannot create key " + key.display() + ": " + store.lastError());
    const bool written = text ? store.writeValue(*id, name, ValueType::String, *text)
                              : store.writeValue(*id, name, ValueType::Dword, encodeDword(dword));
    if (!written) throw CommandError("cannot write " + name + ": " + store.lastError());
}

void deleteEntry(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(3);
    const KeyArg key(line.positional(1, "KEY"));
    const auto lock = lockStoreForChange(stores);
    ConfigStore& store = stores.store();
    if (line.positionals().size() == 3) {
        const std::string& name = line.positionals()[2];
        const int rc = store.deleteValue(existingKey(store, key), name);
        if (rc == kStoreMissing) {
            throw CommandError("no value " + name + " under " + key.display());
        }
        if (rc != kStoreOk) throw CommandError("cannot delete " + name + ": " + store.lastError());
        return;
    }
    if (key.isProductKey()) {
        throw CommandError("refusing to delete the product key " + std::string(kProductKey) +
                           " itself; delete its sub-keys one by one");
    }
    const KeyId parent = existingKey(store, key.parent());
    const int rc = store.deleteTree(parent, key.last());
    if (rc == kStoreMissing) throw CommandError("no key " + key.display());
    if (rc != kStoreOk) {
        throw CommandError("cannot delete key " + key.display() + ": " + store.lastError());
    }
}

void printKey(ConfigStore& store, KeyId id, const std::string& path) {
    std::cout << path << '\n';
    for (const std::string& name : store.valueNames(id)) {
        ConfigValue value;
        if (store.readValue(id, name, value) != kStoreOk) continue;
        std::cout << "    " << (name.empty() ? "(Default)" : name) << " (" << typeName(value.type)
                  << ") = " << valueText(value) << '\n';
    }
}

void dumpTree(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const KeyArg key(line.positionals().size() > 1 ? line.positionals()[1] : std::string());
    ConfigStore& store = stores.existingStore();
    struct Pending {
        KeyId id;
        std::string path;
    };
    // Depth first with a stack of its own: no recursion however deep the tree is.
    std::vector<Pending> pending{{existingKey(store, key), key.display()}};
    // One read transaction: the listing is one snapshot even while a daemon writes.
    const bool snapshot = store.exec("BEGIN");
    while (!pending.empty()) {
        Pending next = std::move(pending.back());
        pending.pop_back();
        printKey(store, next.id, next.path);
        const std::vector<std::string> children = store.subKeyNames(next.id);
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            if (std::optional<KeyId> child = store.findKey(next.id, *it)) {
                pending.push_back({*child, next.path == "\\" ? *it : next.path + "\\" + *it});
            }
        }
    }
    // Ends a read-only transaction: nothing was written that could be lost.
    if (snapshot) (void)store.exec("COMMIT");
}

}  // namespace

void runRegCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    const CommandLine line(words, {"--string", "--dword"}, {});
    const std::string& action = line.positional(0, "reg command (list, get, set, delete, dump)");
    if (action != "set" && (line.option("--string") || line.option("--dword"))) {
        throw UsageError("--string and --dword belong to reg set");
    }
    if (action == "list") {
        listKey(stores, line);
    } else if (action == "get") {
        getValue(stores, line);
    } else if (action == "set") {
        setValue(stores, line);
    } else if (action == "delete") {
        deleteEntry(stores, line);
    } else if (action == "dump") {
        dumpTree(stores, line);
    } else {
        throw UsageError("unknown reg command " + action);
    }
}

}  // namespace tg
