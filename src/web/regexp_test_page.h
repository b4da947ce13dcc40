#pragma once
// The page of the "modalregexp" template: applies an expression to a sample text, as the data
// source and diagram editors test their expressions.
//
//   REGEXP          the request's regexp
//   REGEXP_RESULT   the extracted text, "not found" or "Regular Expression Syntax Error",
//                   or the time-out or failure text of testRegexpWithin (regexp_sandbox.h);
//                   set only when the request has a sample that is not empty
//   REGEXP_SAMPLE   the sample, set with REGEXP_RESULT
//   EDIT
//
// No record blocks. One request, the HTTP server's thread, which the test holds for at most
// about a second.

#include "web/page.h"

namespace tg {

class RegexpTestPage : public Page {
public:
    // Always true.
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
};

}  // namespace tg
