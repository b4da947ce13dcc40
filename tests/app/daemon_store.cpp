#include "daemon_store.h"

#include <gtest/gtest.h>

#include "config/config_key.h"
#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"
#include "http/http_settings.h"

namespace tg::test {

void defineWebStore(const std::string& storePath, const std::string& log, std::uint16_t port) {
    ConfigStore store(storePath);
    ASSERT_TRUE(store.isOpen());
    HttpSettings(store).setPort(port);
    SourceManager sources(store);
    sources.holdReaders(true);
    ASSERT_EQ(sources.create("web"), 0);
    {
        SourceHandle source = sources.acquire("web");
        source->setType(SourceType::File);
        source->setConnect(log);
        source->setBackup(log + ".dup");
        source->setRegexp("^([0-9]+) ([0-9]+)$");
        source->setFields({"status", "bytes"});
        source->save();
    }
    DiagramManager diagrams(store, sources);
    ASSERT_EQ(diagrams.create("by status"), 0);
    {
        DiagramHandle diagram = diagrams.acquire("by status");
        diagram->setGroup("status", "status", "");
        diagram->setAxis("requests", "status", "", AxisOper::Count);
        diagram->setAxis("bytes", "bytes", "", AxisOper::Sum);
        diagram->setDataSource("web");
        diagram->saveDefinition();
    }
    ASSERT_EQ(diagrams.create("total"), 0);
    DiagramHandle diagram = diagrams.acquire("total");
    diagram->setAxis("lines", "bytes", "", AxisOper::Count);
    diagram->setDataSource("web");
    diagram->saveDefinition();
}

std::string storedText(const std::string& storePath, const std::string& key,
                       const std::string& name) {
    ConfigStore store(storePath);
    ConfigKey opened(store);
    std::string text;
    if (opened.openExisting(key)) opened.queryString(name, text);
    return text;
}

std::uint64_t storedPosition(const std::string& storePath) {
    ConfigStore store(storePath);
    ConfigKey key(store);
    if (!key.openExisting("\\sources\\web")) return 0;
    return key.getDword("lastpos", 0);
}

}  // namespace tg::test
