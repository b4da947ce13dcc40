#include "web/regexp_test_page.h"

#include "regex/regexp_sandbox.h"
#include "web/page_support.h"

namespace tg {

bool RegexpTestPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    const std::string regexp = requestValue(request, "regexp");
    setVariable("REGEXP", regexp);
    const std::string sample = requestValue(request, "sample");
    if (!sample.empty()) {
        // Matched in a child process with a time limit: some expressions take glibc minutes.
        setVariable("REGEXP_RESULT", testRegexpWithin(regexp, sample));
        setVariable("REGEXP_SAMPLE", sample);
    }
    return true;
}

}  // namespace tg
