#include "web/choice_list_page.h"

#include <cstdint>
#include <vector>

#include "diagram/axis_oper.h"
#include "web/page_support.h"

namespace tg {

namespace {

bool flagSet(const RequestVariables& request, const std::string& name) {
    const auto it = request.find(name);
    return it != request.end() && decimalValue(it->second) != 0;
}

std::vector<std::string> operationNames() {
    std::vector<std::string> names;
    for (std::uint32_t code = 1; code <= 7; ++code) {
        names.emplace_back(operName(operFromCode(code)));
    }
    return names;
}

}  // namespace

bool ChoiceListPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    m_listSources = flagSet(request, "data_source_list");
    m_listFields = flagSet(request, "data_source_fields");
    m_listOperations = flagSet(request, "oper_list");
    if (m_listFields) {
        m_sourceName = requestValue(request, "data_source_name");
        setVariable("DATASOURCENAME", m_sourceName);
    }
    return true;
}

bool ChoiceListPage::expandRecord(std::string_view block, RecordKind /*kind*/, std::string& out) {
    if (m_listSources) return renderForEach(*this, block, "PARAM", m_sources.names(), out);
    if (m_listFields) {
        const SourceHandle source = m_sources.acquire(m_sourceName);
        if (!source) {
            setError("Can't find datasource '" + m_sourceName + "'", ErrorTarget::None);
            return false;
        }
        return renderForEach(*this, block, "PARAM", source->fieldNames(), out);
    }
    if (m_listOperations) return renderForEach(*this, block, "PARAM", operationNames(), out);
    return true;
}

}  // namespace tg
