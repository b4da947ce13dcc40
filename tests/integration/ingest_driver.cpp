// A small ingesting process for the crash tests: one FILE source and two diagrams in a store,
// periodic checkpoints, and either an orderly end once the whole log is in (--until-done) or
// a run until it is killed.
//
//   ingest_driver --store PATH --log PATH --backup PATH [--checkpoint-ms N] [--until-done]

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/checkpoint.h"
#include "diagram/checkpointer.h"
#include "diagram/diagram_manager.h"

namespace {

struct Options {
    std::string store, log, backup;
    int checkpointMs = 50;
    bool untilDone = false;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--until-done") {
            options.untilDone = true;
        } else if (i + 1 < argc && arg == "--store") {
            options.store = argv[++i];
        } else if (i + 1 < argc && arg == "--log") {
            options.log = argv[++i];
        } else if (i + 1 < argc && arg == "--backup") {
            options.backup = argv[++i];
        } else if (i + 1 < argc && arg == "--checkpoint-ms") {
            options.checkpointMs = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return !options.store.empty() && !options.log.empty();
}

// The first run defines what later runs load.
void defineOnce(tg::SourceManager& sources, tg::DiagramManager& diagrams, const Options& options) {
    sources.holdReaders(true);  // both diagrams attached before the first line is read
    if (sources.create("web") == 0) {
        tg::SourceHandle source = sources.acquire("web");
        source->setType(tg::SourceType::File);
        source->setConnect(options.log);
        source->setBackup(options.backup);
        source->setRegexp("^([0-9]+) ([0-9]+)$");
        source->setFields({"status", "bytes"});
        source->save();
        source->holdReader(true);
    }
    if (diagrams.create("by-status") == 0) {
        tg::DiagramHandle diagram = diagrams.acquire("by-status");
        diagram->setGroup("status", "status", "");
        diagram->setAxis("requests", "status", "", tg::AxisOper::Count);
        diagram->setAxis("bytes", "bytes", "", tg::AxisOper::Sum);
        diagram->setDataSource("web");
        diagram->saveDefinition();
    }
    if (diagrams.create("total") == 0) {
        tg::DiagramHandle diagram = diagrams.acquire("total");
        diagram->setAxis("lines", "bytes", "", tg::AxisOper::Count);
        diagram->setDataSource("web");
        diagram->saveDefinition();
    }
    sources.holdReaders(false);
}

std::uint64_t fileSize(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(
            "usage: ingest_driver --store PATH --log PATH --backup PATH "
            "[--checkpoint-ms N] [--until-done]\n",
            stderr);
        return 2;
    }
    tg::ConfigStore store(options.store);
    if (!store.isOpen()) return 1;
    tg::SourceManager sources(store);
    tg::DiagramManager diagrams(store, sources);
    defineOnce(sources, diagrams, options);
    tg::Checkpoint checkpoint(store, sources, diagrams);
    tg::Checkpointer checkpointer(checkpoint, std::chrono::milliseconds(options.checkpointMs));

    // Bounded either way: a driver that never finishes fails its test instead of hanging it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
        if (options.untilDone &&
            sources.acquire("web")->deliveredPosition().offset == fileSize(options.log)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    checkpointer.stop();
    sources.stopReaders();
    return checkpoint.write(true) ? 0 : 1;
}
