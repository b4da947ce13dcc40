#include "web/page.h"

namespace tg {

std::string_view errorTargetUrl(ErrorTarget target) {
    switch (target) {
        case ErrorTarget::DiagramList:
            return "index.html";
        case ErrorTarget::DiagramEdit:
            return "edit.html";
        case ErrorTarget::None:
            break;
    }
    return {};
}

std::string_view errorTargetName(ErrorTarget target) {
    switch (target) {
        case ErrorTarget::DiagramList:
            return "Back to diagram list";
        case ErrorTarget::DiagramEdit:
            return "Edit diagram";
        case ErrorTarget::None:
            break;
    }
    return {};
}

}  // namespace tg
