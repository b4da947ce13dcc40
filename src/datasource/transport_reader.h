#pragma once
// The reader of a source read through a connected Transport (TCP, UDP, serial): runs the
// reconnect loop on the source's reader thread until its stop is asked. Owns the transport.

#include <memory>

#include "datasource/reconnect_loop.h"
#include "datasource/source_transport.h"

namespace tg {

class TransportReader : public SourceReader {
public:
    TransportReader(DataSource& source, std::unique_ptr<Transport> transport)
        : m_source(source), m_transport(std::move(transport)) {}
    void run() override { runReconnectLoop(m_source, *m_transport); }

private:
    DataSource& m_source;
    std::unique_ptr<Transport> m_transport;
};

}  // namespace tg
