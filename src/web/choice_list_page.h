#pragma once
// The page of the "modalchoose" template: the choices that the edit forms offer. The request
// picks one list, by the first of these that is present with a non-zero number (atoi):
//
//   data_source_list     the names of all data sources, in the source manager's order
//   data_source_fields   the field names of the source named by data_source_name
//   oper_list            the axis operations "SUM" ... "LAST"
//
// Every record block, whatever its name, is repeated over that list with PARAM set to the
// item; without a list every block renders nothing. Also EDIT, and DATASOURCENAME (the
// request's data_source_name) when fields are asked for.
//
// One request, the HTTP server's thread; the SourceManager must outlive the page.

#include <string>
#include <string_view>

#include "datasource/source_manager.h"
#include "web/page.h"

namespace tg {

class ChoiceListPage : public Page {
public:
    explicit ChoiceListPage(SourceManager& sources) : m_sources(sources) {}

    [[nodiscard]] bool prepare(const RequestVariables& request) override;
    // Fails, with the error target None, with "Can't find datasource '<name>'" when the fields
    // of a source that does not exist are asked for.
    [[nodiscard]] bool expandRecord(std::string_view block, RecordKind kind,
                                    std::string& out) override;

private:
    SourceManager& m_sources;
    bool m_listSources = false;
    bool m_listFields = false;
    bool m_listOperations = false;
    std::string m_sourceName;
};

}  // namespace tg
