#pragma once
// The answer of the daemon's metrics address: every diagram's slots (diagram_series.h), each
// data source's reader counts, the last checkpoint, the HTTP answers by status, and the
// process's memory and descriptors.
//
// Any thread; the objects given must outlive the exporter. It takes each diagram's lock only
// to copy its data and formats without any lock, so reader threads wait at most for a copy.

#include <string>

#include "metrics/exposition_writer.h"

namespace tg {

class DiagramManager;
class SourceManager;
class HttpSettings;
class Checkpointer;

class MetricsExporter {
public:
    // `checkpointer` may be null (no checkpoint figures then).
    MetricsExporter(DiagramManager& diagrams, SourceManager& sources, HttpSettings& settings,
                    const Checkpointer* checkpointer)
        : m_diagrams(diagrams),
          m_sources(sources),
          m_settings(settings),
          m_checkpointer(checkpointer) {}

    std::string render(ExpositionFormat format);

private:
    void writeSources(ExpositionWriter& writer);
    void writeCheckpoint(ExpositionWriter& writer);

    DiagramManager& m_diagrams;
    SourceManager& m_sources;
    HttpSettings& m_settings;
    const Checkpointer* m_checkpointer;
};

}  // namespace tg
