#include "web/regexp_test_page.h"

#include "datasource/reg_exp.h"
#include "web/page_support.h"

namespace tg {

bool RegexpTestPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    const std::string regexp = requestValue(request, "regexp");
    setVariable("REGEXP", regexp);
    const std::string sample = requestValue(request, "sample");
    if (!sample.empty()) {
        setVariable("REGEXP_RESULT", testRegexp(regexp, sample));
        setVariable("REGEXP_SAMPLE", sample);
    }
    return true;
}

}  // namespace tg
