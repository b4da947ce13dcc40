#pragma once
// Runs the real tessellgroved for tests: started with its arguments, standard error collected
// in a file, stopped with a signal, and always reaped (killed first if still running) when the
// object goes. Every wait is bounded, so a hung daemon fails its test instead of hanging it.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/loopback_peer.h"

namespace tg::test {

class DaemonProcess {
public:
    // Starts tessellgroved with `args`; its standard error goes to `errorFile`.
    DaemonProcess(const std::vector<std::string>& args, std::string errorFile)
        : DaemonProcess(TESSELLGROVED_PATH, args, std::move(errorFile)) {}
    // Another program the tests start and stop the same way.
    DaemonProcess(const std::string& program, const std::vector<std::string>& args,
                  std::string errorFile);
    ~DaemonProcess();
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;

    bool started() const { return m_pid > 0; }
    void signal(int number);
    // The exit status once the process has ended within `limit`; -1 when it ended by a signal
    // or is still running after the limit (then it is killed).
    int waitExit(std::chrono::seconds limit = std::chrono::seconds(60));
    // What the process wrote to standard error so far.
    std::string errors() const;

private:
    pid_t m_pid = -1;
    std::string m_errorFile;
};

// Ends `process` with SIGTERM; fails the calling test unless it exits with 0 having written
// nothing to standard error.
void expectCleanStop(DaemonProcess& process);

// Whether something accepts connections on 127.0.0.1:`port`.
bool accepting(std::uint16_t port);

// Calls `condition` until it holds or `limit` passes (longer than the loopback peers' wait:
// a daemon starts and stops its readers on the way).
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::seconds limit = std::chrono::seconds(60)) {
    return eventually(condition, limit);
}

}  // namespace tg::test
