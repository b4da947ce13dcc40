#include "metrics/metrics_exporter.h"

#include <string>
#include <vector>

#include "datasource/source_manager.h"
#include "diagram/checkpointer.h"
#include "diagram/diagram_manager.h"
#include "http/http_settings.h"
#include "http/status_counts.h"
#include "metrics/diagram_series.h"
#include "metrics/process_stats.h"

namespace tg {
namespace {

using Type = ExpositionWriter::Type;

struct SourceSample {
    std::string name;
    SourceCounters counters;
};

void writeHttp(ExpositionWriter& writer) {
    writer.family("tessellgrove_http_requests", Type::Counter,
                  "Requests the HTTP server answered, by status code (0: no code).");
    for (const auto& [code, count] : answerCounts()) {
        writer.sample({{"status", std::to_string(code)}}, count);
    }
}

void writeProcess(ExpositionWriter& writer) {
    if (const auto bytes = residentMemoryBytes()) {
        writer.family("process_resident_memory_bytes", Type::Gauge,
                      "Resident memory size in bytes.");
        writer.sample({}, *bytes);
    }
    if (const auto count = openDescriptors()) {
        writer.family("process_open_fds", Type::Gauge, "Number of open file descriptors.");
        writer.sample({}, *count);
    }
}

}  // namespace

std::string MetricsExporter::render(ExpositionFormat format) {
    const std::vector<DiagramSnapshot> diagrams = snapshotDiagrams(m_diagrams);
    ExpositionWriter writer(format);
    std::size_t slots = 0;
    for (const DiagramSnapshot& diagram : diagrams) {
        slots += diagram.data.xLabels.size() * diagram.data.axes.size();
    }
    const std::size_t maxLabels = m_settings.limits().metricsMaxLabels;
    writer.reserve(std::min<std::size_t>(slots, maxLabels * diagrams.size() * 4) * 128 + 4096);
    writeDiagramFamilies(writer, diagrams, maxLabels);
    writeSources(writer);
    writeCheckpoint(writer);
    writeHttp(writer);
    writeProcess(writer);
    return writer.finish();
}

void MetricsExporter::writeSources(ExpositionWriter& writer) {
    std::vector<SourceSample> sources;
    for (const std::string& name : m_sources.names()) {
        const SourceHandle source = m_sources.acquire(name);
        if (source) sources.push_back({name, source->counters()});
    }
    writer.family("tessellgrove_source_lines_read", Type::Counter,
                  "Complete lines a data source's reader parsed.");
    for (const auto& s : sources) writer.sample({{"source", s.name}}, s.counters.linesRead);
    writer.family("tessellgrove_source_bytes_read", Type::Counter,
                  "Bytes a data source's reader received.");
    for (const auto& s : sources) writer.sample({{"source", s.name}}, s.counters.bytesRead);
    writer.family("tessellgrove_source_error_records", Type::Counter,
                  "Lines that gave no record, and failures of the reader.");
    for (const auto& s : sources) writer.sample({{"source", s.name}}, s.counters.errorRecords);
    writer.family("tessellgrove_source_running", Type::Gauge,
                  "1 while the data source's reader runs.");
    for (const auto& s : sources) {
        writer.sample({{"source", s.name}}, std::uint64_t{s.counters.running ? 1u : 0u});
    }
    writer.family("tessellgrove_source_last_record_timestamp_seconds", Type::Gauge,
                  "When the data source last gave a record (0: none since the start).");
    for (const auto& s : sources) {
        writer.sample({{"source", s.name}}, static_cast<double>(s.counters.lastRecordTime));
    }
}

void MetricsExporter::writeCheckpoint(ExpositionWriter& writer) {
    if (!m_checkpointer) return;
    const CheckpointStats stats = m_checkpointer->stats();
    writer.family("tessellgrove_checkpoint_last_duration_seconds", Type::Gauge,
                  "How long the last checkpoint of the diagrams' data took.");
    writer.sample({}, stats.lastSeconds);
    writer.family("tessellgrove_checkpoint_last_success", Type::Gauge,
                  "1 when the last checkpoint was written, 0 when it failed.");
    writer.sample({}, std::uint64_t{stats.lastSucceeded ? 1u : 0u});
    writer.family("tessellgrove_checkpoints", Type::Counter, "Checkpoints tried.");
    writer.sample({}, stats.attempts);
}

}  // namespace tg
