#include "daemon_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/config_key.h"
#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"
#include "http/http_settings.h"
#include "platform/unique_fd.h"

namespace tg::test {

void defineStore(const std::string& storePath, std::uint16_t port, const StoredSource& stored,
                 const std::function<void(DiagramManager&)>& defineDiagrams) {
    ConfigStore store(storePath);
    ASSERT_TRUE(store.isOpen());
    HttpSettings(store).setPort(port);
    SourceManager sources(store);
    sources.holdReaders(true);
    ASSERT_EQ(sources.create(stored.name), 0);
    {
        SourceHandle source = sources.acquire(stored.name);
        source->setType(stored.type);
        source->setConnect(stored.connect);
        source->setBackup(stored.backup);
        source->setRegexp(stored.regexp);
        source->setFields({"status", "bytes"});
        source->save();
    }
    DiagramManager diagrams(store, sources);
    defineDiagrams(diagrams);
}

void defineWebStore(const std::string& storePath, const std::string& log, std::uint16_t port) {
    const StoredSource web{"web", SourceType::File, log, log + ".dup", "^([0-9]+) ([0-9]+)$"};
    defineStore(storePath, port, web, [](DiagramManager& diagrams) {
        ASSERT_EQ(diagrams.create("by status"), 0);
        {
            DiagramHandle diagram = diagrams.acquire("by status");
            diagram->setGroup("status", "status", "");
            diagram->setAxis("requests", "status", "", AxisOper::Count);
            diagram->setAxis("bytes", "bytes", "", AxisOper::Sum);
            (void)diagram->setDataSource("web");
            diagram->saveDefinition();
        }
        ASSERT_EQ(diagrams.create("total"), 0);
        DiagramHandle diagram = diagrams.acquire("total");
        diagram->setAxis("lines", "bytes", "", AxisOper::Count);
        (void)diagram->setDataSource("web");
        diagram->saveDefinition();
    });
}

ReadOnlyFile::ReadOnlyFile(std::string path) : m_path(std::move(path)) {
    ::chmod(m_path.c_str(), 0444);
    if (::geteuid() == 0) setImmutable(true);
    m_made = !UniqueFd(::open(m_path.c_str(), O_WRONLY | O_CLOEXEC));
}

ReadOnlyFile::~ReadOnlyFile() {
    if (::geteuid() == 0) setImmutable(false);
    ::chmod(m_path.c_str(), 0644);
}

bool ReadOnlyFile::setImmutable(bool on) {
    UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    int flags = 0;
    if (!fd || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) return false;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    return ::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) == 0;
}

std::string storedText(const std::string& storePath, const std::string& key,
                       const std::string& name) {
    ConfigStore store(storePath);
    ConfigKey opened(store);
    std::string text;
    // A value that cannot be read stays empty, which the callers check.
    if (opened.openExisting(key)) (void)opened.queryString(name, text);
    return text;
}

std::uint64_t storedPosition(const std::string& storePath) {
    ConfigStore store(storePath);
    ConfigKey key(store);
    if (!key.openExisting("\\sources\\web")) return 0;
    return key.getDword("lastpos", 0);
}

}  // namespace tg::test
