#pragma once
// One data source definition as an XML document, for moving it between installations:
//
//   <?xml version='1.0' encoding='UTF-8'?><!--data source file-->
//   <source name=".." regexp=".." type="1" connect=".." backup=".."><fields><field name=".."/>
//   ..</fields></source>
//
// without whitespace between the nodes. The last position is not part of it. Plain functions,
// any thread; they touch neither a DataSource nor the store.

#include <string>
#include <string_view>

#include "datasource/source_definition.h"

namespace tg {

// 0 and the document; 1 and `error` when a text cannot be written (a NUL byte).
[[nodiscard]] int writeSourceXml(const SourceDefinition& definition, std::string& document,
                                 std::string& error);

// Reads a document written by writeSourceXml, with the tolerance of older writers: the root
// must be named exactly "source", the "fields" element is found without regard to case (each
// one found starts the list afresh), the names inside it are those of its child elements
// whatever they are called, a missing attribute reads as the empty text, and "type" as C's
// atoi reads it.
// 0 and the definition; 1 and `error` (the definition untouched) when the document is
// malformed, larger than 16 MiB, has another root, or holds a text that Windows-1252 cannot
// hold.
[[nodiscard]] int readSourceXml(std::string_view document, SourceDefinition& definition,
                                std::string& error);

}  // namespace tg
