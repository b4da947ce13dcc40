// tgctl user: the web application's accounts. The account store reads the store at every
// authentication and keeps nothing of it, so changes here hold for a running daemon at once
// and are the one change of the store made while it runs (a server without accounts tells
// its remote users to make one this way).

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "http/account_edit.h"
#include "http/account_store.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/password_input.h"

namespace tg {
namespace {

void fail(AccountEditError error) { throw CommandError(std::string(accountEditMessage(error))); }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A stored name that differs from `name` only in ASCII letter case: the store keeps both under
// one key, so saving `name` would change that account's password instead.
std::optional<std::string> caseVariant(const std::vector<std::string>& names,
                                       std::string_view name) {
    for (const std::string& other : names) {
        if (other != name && other.size() == name.size() &&
            std::equal(other.begin(), other.end(), name.begin(),
                       [](char a, char b) { return lowerAscii(a) == lowerAscii(b); })) {
            return other;
        }
    }
    return std::nullopt;
}

void listUsers(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(1);
    AccountStore accounts(stores.existingStore());
    for (const std::string& name : accounts.listAccounts()) {
        const bool edit =
            accounts.accountType(name) == static_cast<std::uint32_t>(AccountType::EditPermission);
        std::cout << name << '\t' << (edit ? "edit" : "view") << '\n';
    }
}

void addUser(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const std::string& name = line.positional(1, "NAME");
    // The name first, so that nobody types a password for a name that is refused.
    if (const auto error = checkAccountEdit(name, false, {}, {}); error != AccountEditError::None) {
        fail(error);
    }
    if (name.find('\\') != std::string::npos) {
        throw CommandError("a user name can not contain a backslash");
    }
    AccountStore accounts(stores.store());
    if (const auto other = caseVariant(accounts.listAccounts(), name)) {
        throw CommandError("user " + *other +
                           " exists already; names that differ only in case share one account");
    }
    const PasswordEntry entry = readPasswordEntry();
    const AccountEditError error =
        checkAccountEdit(name, entry.fromTerminal, entry.password, entry.retyped);
    if (error != AccountEditError::None) fail(error);
    if (accounts.saveAccount(name, entry.password, accountTypeFor(line.flag("--edit"))) != 0) {
        throw CommandError("cannot save user " + name + ": " + stores.store().lastError());
    }
}

void removeUser(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const std::string& name = line.positional(1, "NAME");
    AccountStore accounts(stores.store());
    const std::vector<std::string> names = accounts.listAccounts();
    // Exactly as authentication compares: "alice" does not remove "Alice".
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        throw CommandError("no user " + name);
    }
    if (accounts.deleteAccount(name) != 0) {
        throw CommandError("cannot remove user " + name + ": " + stores.store().lastError());
    }
}

}  // namespace

void runUserCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    const CommandLine line(words, {}, {"--edit"});
    const std::string& action = line.positional(0, "user command (list, add, remove)");
    if (action != "add" && line.flag("--edit")) throw UsageError("--edit belongs to user add");
    if (action == "list") {
        listUsers(stores, line);
    } else if (action == "add") {
        addUser(stores, line);
    } else if (action == "remove") {
        removeUser(stores, line);
    } else {
        throw UsageError("unknown user command " + action);
    }
}

}  // namespace tg
