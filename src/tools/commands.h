#pragma once
// The tgctl command groups. Each takes the words after its group name ("reg get KEY VALUE"
// arrives as {"get", "KEY", "VALUE"}), writes its results to standard output, and throws
// UsageError or CommandError (command_line.h) on failure.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "config/instance_lock.h"

namespace tg {

// Opens the store named by --store or the environment (store_path.h) on first use.
class StoreOpener {
public:
    explicit StoreOpener(std::optional<std::string> option) : m_option(std::move(option)) {}
    ~StoreOpener();
    // The open store, created with its folders when missing; a CommandError when it cannot be
    // opened or is not a store. Changing commands get it through lockStoreForChange.
    ConfigStore& store();
    // The open store for a reading command: a CommandError, and nothing created, when there is
    // no store file (a mistyped path reads nothing rather than an empty new store).
    ConfigStore& existingStore();
    // Where the store is (or would be); resolving it opens nothing.
    const std::filesystem::path& path();

private:
    std::optional<std::string> m_option;
    std::optional<std::filesystem::path> m_path;
    std::unique_ptr<ConfigStore> m_store;
};

inline constexpr const char* kDaemonRunning =
    "tessellgroved is running on this store; stop it before changing the store";

// Opens (or creates) the store and takes its instance lock shared, for a command that changes
// the store: every change waits for tessellgroved to stop, which holds the store's contents in
// memory and writes them back. Call it before the first change and keep the lock until the
// last one. A CommandError with `refusal` when tessellgroved has the lock, or naming the reason
// when it cannot be taken.
std::unique_ptr<InstanceLock> lockStoreForChange(StoreOpener& stores,
                                                 const std::string& refusal = kDaemonRunning);

void runRegCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runRegexpCommand(const std::vector<std::string>& words);
void runParseCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runSourceCommand(const std::vector<std::string>& words, StoreOpener& stores);
// source test NAME: tries the stored source's transport; prints OK, else a CommandError with
// the reason. Reads the store only.
void testSource(const std::string& name, StoreOpener& stores);
void runDiagramCommand(const std::vector<std::string>& words, StoreOpener& stores);
// "source export|import ..." and "diagram export|import ...".
void runSourceExchangeCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runDiagramExchangeCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runUserCommand(const std::vector<std::string>& words, StoreOpener& stores);
void runSettingsCommand(const std::vector<std::string>& words, StoreOpener& stores);

}  // namespace tg
