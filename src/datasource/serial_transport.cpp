#include "datasource/serial_transport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "datasource/descriptor_wait.h"
#include "datasource/system_error_text.h"

namespace tg {
namespace {

constexpr std::chrono::milliseconds kReadWait{1000};

// The flags each kind of setting owns, to find the one the port did not take.
struct AppliedCheck {
    const char* what;
    bool (*same)(const termios&, const termios&);
};

bool sameFlags(tcflag_t a, tcflag_t b, tcflag_t mask) { return (a & mask) == (b & mask); }

constexpr AppliedCheck kChecks[] = {
    {"baud rate",
     [](const termios& a, const termios& b) {
         return cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
     }},
    {"parity",
     [](const termios& a, const termios& b) {
         return sameFlags(a.c_cflag, b.c_cflag, PARENB | PARODD | CMSPAR);
     }},
    {"data bits",
     [](const termios& a, const termios& b) { return sameFlags(a.c_cflag, b.c_cflag, CSIZE); }},
    {"stop bits",
     [](const termios& a, const termios& b) { return sameFlags(a.c_cflag, b.c_cflag, CSTOPB); }},
    {"XON/XOFF setting",
     [](const termios& a, const termios& b) {
         return sameFlags(a.c_iflag, b.c_iflag, IXON | IXOFF);
     }},
    {"hardware handshake",
     [](const termios& a, const termios& b) { return sameFlags(a.c_cflag, b.c_cflag, CRTSCTS); }},
};

// Raises or drops a modem line. Devices without modem lines (pseudo-terminals) have nothing to
// set.
void setModemLine(int fd, int line, bool on) {
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) != 0 && errno != ENOTTY &&
        errno != EINVAL) {
        throw std::runtime_error(systemErrorText(errno));
    }
}

}  // namespace

void SerialTransport::open(const std::string& connect, const WakeEvent&) {
    const SerialConnect target = parseSerialConnect(connect);
    m_port.reset(::open(target.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!m_port) throw std::runtime_error(systemErrorText(errno));
    try {
        if (::flock(m_port.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                throw std::runtime_error("The port " + target.device +
                                         " is in use by another program");
            }
            throw std::runtime_error(systemErrorText(errno));
        }
        configure(target);
    } catch (...) {
        m_port.reset();  // closed before the error is raised
        throw;
    }
}

void SerialTransport::configure(const SerialConnect& target) {
    const int fd = m_port.get();
    termios attributes{};
    if (::tcgetattr(fd, &attributes) != 0) throw std::runtime_error(systemErrorText(errno));
    // Other opens are refused from here on (privileged ones excepted).
    if (::ioctl(fd, TIOCEXCL) != 0) throw std::runtime_error(systemErrorText(errno));
    cfmakeraw(&attributes);
    applySerialSettings(target.settings, attributes);
    if (::tcsetattr(fd, TCSANOW, &attributes) != 0) {
        throw std::runtime_error(systemErrorText(errno));
    }
    // tcsetattr succeeds when any part was taken: read back what the port holds now.
    termios applied{};
    if (::tcgetattr(fd, &applied) != 0) throw std::runtime_error(systemErrorText(errno));
    for (const AppliedCheck& check : kChecks) {
        if (!check.same(attributes, applied)) {
            throw std::runtime_error("The serial port " + target.device + " cannot take the " +
                                     check.what + " asked for");
        }
    }
    const SerialSettings& settings = target.settings;
    if (settings.dtr) setModemLine(fd, TIOCM_DTR, *settings.dtr == LineControl::On);
    if (settings.rts && *settings.rts != LineControl::Handshake) {
        setModemLine(fd, TIOCM_RTS, *settings.rts == LineControl::On);
    }
}

void SerialTransport::close() {
    if (!m_port) return;
    int line = TIOCM_DTR;
    (void)::ioctl(m_port.get(), TIOCMBIC, &line);  // nothing to drop without modem lines
    m_port.reset();
}

std::size_t SerialTransport::receive(char* buffer, std::size_t size, const WakeEvent& wake) {
    for (;;) {
        switch (waitForDescriptor(m_port.get(), POLLIN, wake, kReadWait)) {
            case WaitResult::Woken:
                return 0;
            case WaitResult::TimedOut:
                continue;
            case WaitResult::Ready:
                break;
        }
        const ssize_t got = ::read(m_port.get(), buffer, size);
        if (got > 0) return static_cast<std::size_t>(got);
        // Readable with nothing to read: the line was hung up. Reported, and tried again after
        // the pause, rather than reopened at once in a loop.
        if (got == 0) throw std::runtime_error("The serial port was hung up");
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            throw std::runtime_error(systemErrorText(errno));
        }
    }
}

}  // namespace tg
