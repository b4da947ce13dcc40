#pragma once
// Drives the reactor (HTTP connections and the reactor's timers) from Qt's event loop: one
// QSocketNotifier on the reactor's epoll descriptor, which becomes readable whenever the reactor
// has work, timers included. A stop of the reactor quits Qt's loop, as it ends the daemon's.
//
// Main thread only; the reactor must outlive the pump.

#include <QSocketNotifier>
#include <QTimer>

#include "http/reactor.h"

namespace tg {

class ReactorPump {
public:
    explicit ReactorPump(Reactor& reactor);
    ReactorPump(const ReactorPump&) = delete;
    ReactorPump& operator=(const ReactorPump&) = delete;

    // Does the work that is ready now; quits Qt's loop once the reactor has been stopped.
    void pump();

private:
    Reactor& m_reactor;
    QSocketNotifier m_notifier;
    // Work deferred outside a round (by a window's command) wakes no descriptor: a slow tick
    // runs it.
    QTimer m_tick;
};

}  // namespace tg
