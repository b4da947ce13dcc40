// One program per store file, editors only while none runs, and a starting program that waits
// for an editor instead of mistaking it for another instance.

#include "config/instance_lock.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "support/temp_dir.h"

namespace tg {
namespace {

using Mode = InstanceLock::Mode;
using State = InstanceLock::State;

TEST(InstanceLock, OneInstanceAtATimeAndEditorsOnlyWithoutOne) {
    test::TempDir dir;
    const auto store = dir.path() / "store.db";
    {
        InstanceLock first(store, Mode::Instance);
        ASSERT_TRUE(first.held());
        EXPECT_NE(first.path().filename().string().find("TESSELLGROVE_MUTEX_OBJECT"),
                  std::string::npos);
        EXPECT_TRUE(std::filesystem::exists(first.path()));
        EXPECT_EQ(InstanceLock(store, Mode::Instance).state(), State::HeldElsewhere);
        EXPECT_EQ(InstanceLock(store, Mode::Editor).state(), State::HeldElsewhere);
    }
    InstanceLock editor(store, Mode::Editor);
    InstanceLock anotherEditor(store, Mode::Editor);
    EXPECT_TRUE(editor.held());
    EXPECT_TRUE(anotherEditor.held());
    editor.release();
    anotherEditor.release();
    EXPECT_TRUE(InstanceLock(store, Mode::Instance).held());

    const auto unusable = dir.path() / "missing" / "store.db";
    InstanceLock failed(unusable, Mode::Instance);
    EXPECT_EQ(failed.state(), State::Failed);
    EXPECT_NE(failed.error().find(unusable.string()), std::string::npos) << failed.error();
}

TEST(InstanceLock, TheLockBelongsToTheStoreFileNotToItsFolderOrToThePathThatNamesIt) {
    test::TempDir dir;
    const auto store = dir.path() / "store.db";
    InstanceLock first(store, Mode::Instance);
    ASSERT_TRUE(first.held());

    // Another store in the same folder is another instance's, and free to edit.
    const auto other = dir.path() / "other.db";
    EXPECT_TRUE(InstanceLock(other, Mode::Editor).held());
    EXPECT_TRUE(InstanceLock(other, Mode::Instance).held());

    // The same file reached through a link to it, or through a link to its folder.
    std::filesystem::create_symlink(store, dir.path() / "link.db");
    std::filesystem::create_directory_symlink(dir.path(), dir.path() / "folder");
    for (const auto& path : {dir.path() / "link.db", dir.path() / "folder" / "store.db"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(InstanceLock(path, Mode::Instance).state(), State::HeldElsewhere);
        EXPECT_EQ(InstanceLock(path, Mode::Editor).state(), State::HeldElsewhere);
    }
}

TEST(InstanceLock, AStartingInstanceWaitsForAnEditorToFinish) {
    test::TempDir dir;
    const auto store = dir.path() / "store.db";
    auto editor = std::make_unique<InstanceLock>(store, Mode::Editor);
    ASSERT_TRUE(editor->held());
    State started = State::Failed;
    std::thread instance([&] { started = InstanceLock(store, Mode::Instance).state(); });
    editor.reset();  // whenever this happens, the instance gets the lock
    instance.join();
    EXPECT_EQ(started, State::Held);
}

}  // namespace
}  // namespace tg
