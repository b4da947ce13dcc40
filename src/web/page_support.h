#pragma once
// What the named pages share: reading request variables (a variable that the request does not
// carry reads as the empty text), the common variables and messages, and writing a block once
// per row. Plain functions; the HTTP server's thread.

#include <string>
#include <string_view>
#include <vector>

#include "diagram/diagram_manager.h"
#include "web/page.h"
#include "web/template_engine.h"

namespace tg {

// The value of `name`; empty when the request has no such variable.
std::string requestValue(const RequestVariables& request, const std::string& name);

// Whether the request has `name` with a value that is not empty.
bool hasValue(const RequestVariables& request, const std::string& name);

// The decimal value of `text` as C's atoi reads it: blanks, a sign and the leading digits; 0
// when it does not start with a number. Out-of-range values wrap as atoi's conversion of a
// long does, never undefined.
int decimalValue(std::string_view text);

// Sets the page variable EDIT to the request's EDIT, as every page does first.
void copyEditVariable(Page& page, const RequestVariables& request);

// "Can't find diagram '<name>'": the failure of every page that shows one diagram.
std::string diagramNotFound(std::string_view name);

// The diagram named by the request's "name"; empty, with the page's error set to
// diagramNotFound and the diagram list as target, when there is none.
DiagramHandle acquireRequestedDiagram(Page& page, DiagramManager& diagrams,
                                      const RequestVariables& request);

// Renders `block` once per value, in order, with `variable` set to the value. False as soon as
// a render fails.
[[nodiscard]] bool renderForEach(Page& page, std::string_view block, const std::string& variable,
                                 const std::vector<std::string>& values, std::string& out);

// Renders `block` once per row, in order, with each variable set to the row's text of the same
// position (a short row leaves the rest as they were). False as soon as a render fails.
[[nodiscard]] bool renderRows(Page& page, std::string_view block,
                              const std::vector<std::string>& variables,
                              const std::vector<std::vector<std::string>>& rows, std::string& out);

}  // namespace tg
