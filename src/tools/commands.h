#pragma once
// The tgctl command groups. Each takes the words after its group name ("reg get KEY VALUE"
// arrives as {"get", "KEY", "VALUE"}), writes its results to standard output, and throws
// UsageError or CommandError (command_line.h) on failure.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/config_store.h"

namespace tg {

// Opens the store named by --store or the environment (store_path.h) on first use.
class StoreOpener {
public:
    explicit StoreOpener(std::optional<std::string> option) : m_option(std::move(option)) {}
    ~StoreOpener();
    // The open store; a CommandError when it cannot be opened or is not a store.
    ConfigStore& store();

private:
    std::optional<std::string> m_option;
    std::unique_ptr<ConfigStore> m_store;
};

void runRegCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runRegexpCommand(const std::vector<std::string>& words);
void runParseCommand(const std::vector<std::string>& words, StoreOpener& stores);

}  // namespace tg
