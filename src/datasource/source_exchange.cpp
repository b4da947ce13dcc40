#include "datasource/source_exchange.h"

#include <algorithm>
#include <memory>

#include "datasource/source_edit.h"
#include "datasource/source_xml.h"

namespace tg {
namespace {

bool containsExactly(const std::vector<std::string>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The stored field list is a comma-joined text: a name holding a comma would come back as two.
bool fieldNamesStorable(const FieldNames& fields) {
    return std::none_of(fields.begin(), fields.end(), [](const std::string& field) {
        return field.find(',') != std::string::npos;
    });
}

}  // namespace

std::string rewriteSourceQuestion(std::string_view name) {
    std::string question(kRewriteSourceQuestion);
    question += ' ';
    question += name;
    return question;
}

int exportSource(SourceManager& sources, std::string_view name, std::string& document,
                 std::string& error) {
    SourceDefinition definition;
    {
        const SourceHandle source = sources.acquire(name);
        if (!source) {
            error = "no data source " + std::string(name);
            return 1;
        }
        definition = source->definition();
    }
    return writeSourceXml(definition, document, error);
}

int importSource(SourceManager& sources, std::string_view document, const ExchangeQuestion& ask,
                 std::string& name, std::string& error) {
    error.clear();
    SourceDefinition definition;
    if (readSourceXml(document, definition, error) != 0) return 1;

    const std::vector<std::string> names = sources.names();
    const bool exists = containsExactly(names, definition.name);
    const SourceFieldError nameError =
        checkSourceName(definition.name, exists ? definition.name : std::string_view(), names);
    if (nameError != SourceFieldError::None) {
        error = sourceFieldMessage(nameError);
        return 1;
    }
    if (!fieldNamesStorable(definition.fields)) {
        error = "Data source can not be imported: a field name holds a comma";
        return 1;
    }
    if (exists) {
        if (!ask(rewriteSourceQuestion(definition.name))) return 1;
        if (sources.remove(definition.name) != 0) {
            error = kSourceImportRefusal;
            return 1;
        }
    }

    // A fresh source starts at position 0; the position is never part of a document.
    auto source = std::make_unique<DataSource>(definition.name, sources.store(), sources.events());
    (void)source->setType(definition.type);  // the setters always succeed
    (void)source->setRegexp(definition.regexp);
    (void)source->setConnect(definition.connect);
    (void)source->setBackup(definition.backup);
    source->setFields(definition.fields);
    source->save();
    sources.add(std::move(source));
    name = definition.name;
    return 0;
}

}  // namespace tg
