#pragma once
// Registers the seven pages of the web application with the page factory: "index", "edit",
// "show", "showtext", "modalchoose", "modalregexp" and "modaltest". Called once at start-up,
// before the HTTP server starts; the managers must outlive the factory's use.

#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"
#include "web/page_factory.h"

namespace tg {

void registerWebPages(PageFactory& pages, DiagramManager& diagrams, SourceManager& sources);

}  // namespace tg
