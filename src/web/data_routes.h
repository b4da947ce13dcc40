#pragma once
// The data addresses of the daemon (http/data_route.h):
//   /metrics                  every diagram, source and the server in the Prometheus text
//                             format, or OpenMetrics when the Accept header asks for it
//   /diagram.json?name=NAME   one diagram's labels and series as JSON (metrics/diagram_export.h)
//   /diagram.csv?name=NAME    the same as CSV, offered as a download
// An unknown diagram is answered "404 Not Found" with a line saying so. A diagram's answer is
// written as its client takes it, a piece per turn of the server's loop, from one copy of the
// diagram's data taken when the request came: one moment's data, and other clients are served
// while it goes out.
// Main thread; the exporter and the manager must outlive the routes.

#include <string_view>

#include "diagram/diagram_manager.h"
#include "http/data_route.h"
#include "metrics/metrics_exporter.h"

namespace tg {

class WebDataRoutes : public DataRoutes {
public:
    WebDataRoutes(MetricsExporter& metrics, DiagramManager& diagrams)
        : m_metrics(metrics), m_diagrams(diagrams) {}

    bool serves(std::string_view path) const override;
    DataAnswer answer(const CRequest& request, std::string_view path) override;

private:
    MetricsExporter& m_metrics;
    DiagramManager& m_diagrams;
};

}  // namespace tg
