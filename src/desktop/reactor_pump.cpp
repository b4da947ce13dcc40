#include "desktop/reactor_pump.h"

#include <QCoreApplication>

namespace tg {

ReactorPump::ReactorPump(Reactor& reactor)
    : m_reactor(reactor), m_notifier(reactor.fd(), QSocketNotifier::Read) {
    QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { pump(); });
    QObject::connect(&m_tick, &QTimer::timeout, [this] { pump(); });
    m_tick.start(250);
}

void ReactorPump::pump() {
    if (!m_reactor.runOnce(std::chrono::milliseconds(0))) {
        m_notifier.setEnabled(false);
        m_tick.stop();
        QCoreApplication::exit(0);
    }
}

}  // namespace tg
