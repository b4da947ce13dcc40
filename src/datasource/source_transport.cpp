#include "datasource/source_transport.h"

#include "datasource/file_reader.h"
#include "datasource/odbc/odbc_reader.h"

namespace tg {

std::unique_ptr<SourceReader> makeSourceReader(DataSource& source, SourceType type) {
    switch (type) {
        case SourceType::File:
            return std::make_unique<FileReader>(source);
        case SourceType::Odbc:
            return std::make_unique<OdbcReader>(source);
        default:
            return nullptr;
    }
}

bool testTransport(SourceType type, std::string& text) {
    (void)text;
    switch (type) {
        case SourceType::Odbc:
            return testOdbcConnection(text);
        default:
            return true;  // a file is tried by reading it; other kinds have nothing to try yet
    }
}

}  // namespace tg
