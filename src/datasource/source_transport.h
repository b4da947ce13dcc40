#pragma once
// Picks the reader for a source's type. Each transport is a unit of its own (FILE:
// file_reader; the connected ones run a Transport in runReconnectLoop); this is the one place
// that knows which type is read by which.

#include <memory>
#include <string>

#include "datasource/source_type.h"

namespace tg {

class DataSource;

// Reads one source until its stop is asked. Runs on the source's reader thread only.
class SourceReader {
public:
    virtual ~SourceReader() = default;
    virtual void run() = 0;
};

// The reader for `type`, reading `source`; null for types without a transport (the reader
// thread then ends at once).
std::unique_ptr<SourceReader> makeSourceReader(DataSource& source, SourceType type);

// Tries the transport of `type` described by `text` (types without a transport, and files:
// true). On failure false, with `text` replaced by the reason.
[[nodiscard]] bool testTransport(SourceType type, std::string& text);

// Why `text` is not a connect string of `type` (the message the reader would raise); empty
// when it is one, or when the type has no syntax to check. Opens nothing.
std::string connectSyntaxError(SourceType type, const std::string& text);

}  // namespace tg
