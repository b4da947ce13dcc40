#pragma once
// One diagram's definition (not its data) as an XML document, for moving it between
// installations:
//
//   <?xml version='1.0' encoding='UTF-8'?><!--diagram configuration file-->
//   <diagram name=".." datasource="..">
//     <filters><filter name=".." datasource="FIELD" regexp=".." inv="0"/>..</filters>
//     <groups><group name=".." datasource="FIELD" regexp=".."/>..</groups>
//     <yaxises><yaxis name=".." datasource="FIELD" regexp=".." oper="1"/>..</yaxises>
//   </diagram>
//
// written without whitespace between the nodes; every section is written, empty or not.
// Plain functions, any thread; they touch neither a Diagram nor the store.

#include <string>
#include <string_view>

#include "diagram/diagram_definition.h"

namespace tg {

// 0 and the document (an absent list is written as an empty section); 1 and `error` when a
// text cannot be written (a NUL byte).
[[nodiscard]] int writeDiagramXml(const DiagramDefinition& definition, std::string& document,
                                  std::string& error);

// Reads a document written by writeDiagramXml, with the tolerance of older writers: the root
// must be named exactly "diagram"; sections are found without regard to case, and each one
// found gives its kind's list afresh (a section that is missing leaves the list absent);
// every child element of a section is an item whatever it is called; a missing attribute
// reads as the empty text, and "inv" and "oper" as C's atoi reads them.
// 0 and the definition; 1 and `error` (the definition untouched) when the document is
// malformed, larger than 16 MiB, has another root, or holds a text that Windows-1252 cannot
// hold.
[[nodiscard]] int readDiagramXml(std::string_view document, DiagramDefinition& definition,
                                 std::string& error);

}  // namespace tg
