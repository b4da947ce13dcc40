#pragma once
// The Export and Import commands for data sources, as every front end runs them (tgctl now,
// the desktop later): the front end chooses the file and answers the questions; everything
// else happens here. Any thread; takes the manager's lock, then a source's (through the
// manager and the source's own operations).

#include <string>
#include <string_view>

#include "datasource/definition_file.h"
#include "datasource/source_manager.h"

namespace tg {

inline constexpr std::string_view kRewriteSourceQuestion = "Rewrite data source";
inline constexpr std::string_view kSourceImportRefusal =
    "Data source can not be imported: it is already exists and binded to one or more diagrams";

// The question asked before an import replaces the source named `name`.
std::string rewriteSourceQuestion(std::string_view name);

// The XML document of the source named exactly `name` (writeSourceXml). 0 done; 1 and `error`
// when there is no such source or a text cannot be written.
[[nodiscard]] int exportSource(SourceManager& sources, std::string_view name,
                               std::string& document, std::string& error);

// Reads `document` into a fresh source and, unless anything is wrong, saves it and adds it to
// `sources`. A name the store cannot keep apart from the others (empty, holding a backslash,
// equal to another but for case) and field names a stored list cannot hold (with a comma) are
// refused with the editor's messages. When a source of exactly that name exists, `ask` decides
// about rewriteSourceQuestion; on yes that source is removed first, which is refused while
// diagrams use it (kSourceImportRefusal).
// 0 imported, with `name` set to the source's name; 1 nothing changed, with `error` saying why
// (empty when the question was declined).
[[nodiscard]] int importSource(SourceManager& sources, std::string_view document,
                               const ExchangeQuestion& ask, std::string& name, std::string& error);

}  // namespace tg
