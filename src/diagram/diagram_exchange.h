#pragma once
// The Export and Import commands for diagrams, as every front end runs them (tgctl now, the
// desktop later): the front end chooses the file and answers the questions; everything else
// happens here. Any thread; takes the manager's lock, then a source's, then a diagram's
// (through their own operations).

#include <string>
#include <string_view>

#include "config/config_store.h"
#include "datasource/definition_file.h"
#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"

namespace tg {

inline constexpr std::string_view kRewriteDiagramQuestion = "Rewrite diagram";

// The question asked before an import replaces the diagram named `name`.
std::string rewriteDiagramQuestion(std::string_view name);

// The XML document of the diagram named exactly `name` (writeDiagramXml). 0 done; 1 and
// `error` when there is no such diagram or a text cannot be written.
[[nodiscard]] int exportDiagram(DiagramManager& diagrams, std::string_view name,
                                std::string& document, std::string& error);

// Reads `document` and, unless anything is wrong, makes a diagram of it on `store` and
// `sources` (those of `diagrams`), saves its definition, adds it to `diagrams` and starts it
// on its data source when that exists. Names the store cannot keep apart (the diagram's among
// the diagrams, an item's among the items of its kind: empty, holding a backslash, equal to
// another but for case) are refused with the editor's messages. When a diagram of exactly
// that name exists, `ask` decides about rewriteDiagramQuestion; on yes that diagram is
// removed first (refused while it is in use).
// 0 imported, with `name` set; 1 nothing changed, with `error` saying why (empty when the
// question was declined).
[[nodiscard]] int importDiagram(DiagramManager& diagrams, ConfigStore& store,
                                SourceManager& sources, std::string_view document,
                                const ExchangeQuestion& ask, std::string& name,
                                std::string& error);

}  // namespace tg
