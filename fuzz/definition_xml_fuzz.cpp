// The data source and diagram XML readers on arbitrary bytes: no crash, and whatever they
// accept is written and read back to the same document (after the first reading has brought
// numbers into the range the documents write).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "datasource/source_xml.h"
#include "diagram/diagram_xml.h"
#include "fuzz_check.h"

namespace {

template <class Definition, class Read, class Write>
void roundTrip(std::string_view input, Read read, Write write) {
    Definition first;
    std::string error;
    if (read(input, first, error) != 0) {
        check(!error.empty());
        return;
    }
    std::string written;
    check(write(first, written, error) == 0);  // every text read has a UTF-8 form
    Definition second;
    check(read(written, second, error) == 0);
    std::string rewritten;
    check(write(second, rewritten, error) == 0);
    check(rewritten == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    roundTrip<tg::SourceDefinition>(input, tg::readSourceXml, tg::writeSourceXml);
    roundTrip<tg::DiagramDefinition>(input, tg::readDiagramXml, tg::writeDiagramXml);
    return 0;
}
