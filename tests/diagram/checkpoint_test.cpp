// Checkpoints against the changes made beside them: what a user deleted or renamed stays
// deleted, a remove is never refused because a checkpoint runs, and a reset or definition
// change reaches the store without waiting for the interval.

#include "diagram/checkpoint.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "config/config_key.h"
#include "diagram/checkpointer.h"
#include "diagram_fixture.h"
#include "support/loopback_peer.h"

namespace tg {
namespace {

using Texts = std::vector<std::string>;

class CheckpointTest : public test::DiagramFixture {
protected:
    std::string storedData(const std::string& diagram, const std::string& axis) {
        ConfigKey key(m_store);
        if (!key.openExisting("\\diagrams\\" + diagram + "\\yaxises\\" + axis)) return "(none)";
        std::string text;
        return key.queryString("data", text) == kStoreOk ? text : "(none)";
    }
    // A saved diagram on "web" with a SUM axis on bytes per name in `onBytes`, one on status
    // per name in `onStatus`, that has counted the record 200 / 7.
    void define(DiagramManager& manager, const std::string& name, const Texts& onBytes,
                const Texts& onStatus = {}) {
        ASSERT_EQ(manager.create(name), 0);
        DiagramHandle diagram = manager.acquire(name);
        (void)diagram->setDataSource("web");
        for (const std::string& axis : onBytes) diagram->setAxis(axis, "bytes", "", AxisOper::Sum);
        for (const std::string& axis : onStatus) {
            diagram->setAxis(axis, "status", "", AxisOper::Sum);
        }
        diagram->saveDefinition();
        feed(*diagram, {"200", "7", ""});
    }
};

TEST_F(CheckpointTest, DeletesAndRenamesBetweenCopyAndWriteAreNotUndone) {
    DiagramManager manager(m_store, m_sources);
    define(manager, "d", {"a", "b", "c"}, {"z"});
    define(manager, "e", {"a"});
    ASSERT_EQ(manager.create("unsaved"), 0);
    Checkpoint checkpoint(m_store, m_sources, manager);
    std::function<void()> between;
    checkpoint.setAfterCopy([&] {
        if (between) std::exchange(between, nullptr)();
    });
    const auto writeWith = [&](std::function<void()> change) {
        between = std::move(change);
        EXPECT_TRUE(checkpoint.write(true));
    };

    // Axes that swap names: each name's key must get the data the axis of that name has now.
    writeWith([&] {
        DiagramHandle d = manager.acquire("d");
        (void)d->renameItem(kAxisKind, "c", "tmp");
        (void)d->renameItem(kAxisKind, "z", "c");
        (void)d->renameItem(kAxisKind, "tmp", "z");
    });
    EXPECT_EQ(storedData("d", "c"), "200,");
    EXPECT_EQ(storedData("d", "z"), "7,");
    EXPECT_FALSE(stored("d\\yaxises\\tmp"));

    writeWith([&] {
        DiagramHandle d = manager.acquire("d");
        (void)d->renameItem(kAxisKind, "a", "a2");
        (void)d->deleteItem(kAxisKind, "b");
    });
    EXPECT_FALSE(stored("d\\yaxises\\a"));
    EXPECT_FALSE(stored("d\\yaxises\\b"));
    EXPECT_EQ(storedData("d", "a2"), "");  // deleting b cleared the diagram

    writeWith([&] {
        EXPECT_EQ(manager.remove("e"), 0);
        (void)manager.acquire("d")->rename("d2");
    });
    EXPECT_FALSE(stored("e"));
    EXPECT_FALSE(stored("d"));
    EXPECT_TRUE(stored("d2\\yaxises\\a2"));
    EXPECT_FALSE(stored("unsaved"));  // never saved, so never given a key
}

TEST_F(CheckpointTest, RemoveIsCarriedOutWhileCheckpointsRun) {
    DiagramManager manager(m_store, m_sources);
    define(manager, "big", {"a"});
    {
        DiagramHandle big = manager.acquire("big");
        big->setGroup("g", "text", "");
        for (int i = 0; i < 5000; ++i) feed(*big, {"200", "1", std::to_string(i)});
    }
    Checkpoint checkpoint(m_store, m_sources, manager);
    std::atomic<bool> running{true};
    std::thread writer([&] {
        while (running) (void)checkpoint.write(true);
    });
    int refused = 0;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(manager.create("tmp"), 0);
        manager.acquire("tmp")->saveDefinition();
        if (manager.remove("tmp") != 0) {
            ++refused;
            break;
        }
    }
    running = false;
    writer.join();
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(manager.names(), (Texts{"big"}));
    EXPECT_FALSE(stored("tmp"));
}

TEST_F(CheckpointTest, ResetsAndRenamesReachTheStoreWithoutWaitingForTheInterval) {
    DiagramManager manager(m_store, m_sources);
    define(manager, "d", {"a"});
    Checkpoint checkpoint(m_store, m_sources, manager);
    ASSERT_TRUE(checkpoint.write(true));
    ASSERT_EQ(storedData("d", "a"), "7,");
    Checkpointer checkpointer(checkpoint, std::chrono::hours(1));
    manager.setCheckpointRequest([&] { checkpointer.requestNow(); });

    DiagramHandle d = manager.acquire("d");
    d->clearData();
    EXPECT_TRUE(test::eventually([&] { return storedData("d", "a") == ""; }));

    feed(*d, {"200", "5", ""});
    (void)d->renameItem(kAxisKind, "a", "b");  // the data went with the old key
    EXPECT_TRUE(test::eventually([&] { return storedData("d", "b") == "5,"; }));

    d->setFilter("f", "status", "^2");  // a new definition with the old data stored
    feed(*d, {"200", "3", ""});
    ASSERT_TRUE(checkpoint.write(true));
    d->setFilter("f", "status", "^4");
    EXPECT_TRUE(test::eventually([&] { return storedData("d", "b") == ""; }));

    manager.setCheckpointRequest(nullptr);
    checkpointer.stop();
}

}  // namespace
}  // namespace tg
