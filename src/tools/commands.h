#pragma once
// The tgctl command groups. Each takes the words after its group name ("reg get KEY VALUE"
// arrives as {"get", "KEY", "VALUE"}), writes its results to standard output, and throws
// UsageError or CommandError (command_line.h) on failure.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/instance_lock.h"
#include "config/config_store.h"

namespace tg {

// Opens the store named by --store or the environment (store_path.h) on first use.
class StoreOpener {
public:
    explicit StoreOpener(std::optional<std::string> option) : m_option(std::move(option)) {}
    ~StoreOpener();
    // The open store; a CommandError when it cannot be opened or is not a store.
    ConfigStore& store();
    // Where the store is (or would be); resolving it opens nothing.
    const std::filesystem::path& path();

private:
    std::optional<std::string> m_option;
    std::optional<std::filesystem::path> m_path;
    std::unique_ptr<ConfigStore> m_store;
};

// Opens the store and takes its instance lock for a change to definitions that a running
// tessellgroved holds in memory. A CommandError with `refusal` when tessellgroved (or any
// other holder) has the lock, or naming the reason when it cannot be taken.
std::unique_ptr<InstanceLock> lockStoreForChange(StoreOpener& stores, const std::string& refusal);

void runRegCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runRegexpCommand(const std::vector<std::string>& words);
void runParseCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runSourceCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runDiagramCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runUserCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runSettingsCommand(const std::vector<std::string>& words, StoreOpener& stores);

}  // namespace tg
