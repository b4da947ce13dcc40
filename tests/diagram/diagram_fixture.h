#pragma once
// A store, a source manager with one source "web" (fields status, bytes, text) and helpers to
// feed records to diagrams directly, as a source's delivery would.

#include <gtest/gtest.h>

#include "config/config_key.h"
#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/diagram.h"
#include "support/temp_dir.h"

namespace tg::test {

class DiagramFixture : public ::testing::Test {
protected:
    DiagramFixture() {
        (void)m_sources.create("web");
        m_sources.acquire("web")->setFields(m_names);
    }
    void feed(Diagram& diagram, const Record& record) { diagram.processRecord(record, m_names); }

    // Makes "web" follow `log` ("STATUS BYTES" lines, or what `regexp` splits into those two
    // fields) with a duplicate log, and sets `diagram` up to sum bytes by status on it (which
    // starts it).
    void followLog(const std::string& log, Diagram& diagram,
                   const std::string& regexp = "^([0-9]+) ([0-9]+)$") {
        {
            SourceHandle source = m_sources.acquire("web");
            source->setType(SourceType::File);
            source->setConnect(log);
            source->setBackup(m_dir.file("dup.log"));
            source->setRegexp(regexp);
            source->setFields({"status", "bytes"});
        }
        diagram.setGroup("status", "status", "");
        diagram.setAxis("bytes", "bytes", "", AxisOper::Sum);
        (void)diagram.setDataSource("web");
    }

    // Whether the store holds the key `path` below the diagrams' key.
    bool stored(const std::string& path) {
        ConfigKey key(m_store);
        return key.openExisting("\\diagrams\\" + path);
    }

    TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
    SourceManager m_sources{m_store};
    FieldNames m_names{"status", "bytes", "text"};
};

}  // namespace tg::test
