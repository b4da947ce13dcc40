#include "web/web_pages.h"

#include <memory>

#include "web/chart_page.h"
#include "web/choice_list_page.h"
#include "web/diagram_edit_page.h"
#include "web/diagram_list_page.h"
#include "web/diagram_test_page.h"
#include "web/regexp_test_page.h"
#include "web/text_result_page.h"

namespace tg {

void registerWebPages(PageFactory& pages, DiagramManager& diagrams, SourceManager& sources) {
    DiagramManager* const d = &diagrams;
    pages.registerPage("index", [d] { return std::make_unique<DiagramListPage>(*d); });
    pages.registerPage("edit", [d] { return std::make_unique<DiagramEditPage>(*d); });
    pages.registerPage("show", [d] { return std::make_unique<ChartPage>(*d); });
    pages.registerPage("showtext", [d] { return std::make_unique<TextResultPage>(*d); });
    pages.registerPage("modaltest", [d] { return std::make_unique<DiagramTestPage>(*d); });
    pages.registerPage("modalchoose",
                       [s = &sources] { return std::make_unique<ChoiceListPage>(*s); });
    pages.registerPage("modalregexp", [] { return std::make_unique<RegexpTestPage>(); });
}

}  // namespace tg
