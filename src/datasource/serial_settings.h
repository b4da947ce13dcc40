#pragma once
// The connect string of a COM source: the device, a colon, and the port's settings in the
// mode command's syntax, "COM1:baud=96 parity=n data=8 stop=1 xon=on dtr=on rts=on", or its
// short form "COM1:96,n,8,1" (baud, parity, data bits, stop bits, and optionally x for XON/XOFF
// or p for hardware handshake). Pure functions, any thread.
//
// The device is a path ("/dev/ttyUSB0") or COMn, which names /dev/ttyS(n-1). Keys and values
// ignore case. baud= takes the mode command's two-digit abbreviations (11 15 30 60 12 24 48 96
// 19 for 110 ... 19200) and full rates up to 4000000; parity= n e o m s; data= 5 to 8;
// stop= 1 1.5 2 (1.5 only with 5 data bits); xon= on off; dtr= on off hs; rts= on off hs tg;
// to= octs= odsr= idsr= on off. Settings not given keep the port's own.

#include <optional>
#include <string>
#include <string_view>

struct termios;

namespace tg {

inline constexpr const char* kComUsage =
    "Connection string syntax error. Usage: COM1:baud=96 parity=n data=8 stop=1 xon=on dtr=on "
    "rts=on";

enum class LineControl { Off, On, Handshake, Toggle };

struct SerialSettings {
    std::optional<unsigned> baud;        // bits per second
    std::optional<char> parity;          // 'n', 'e', 'o', 'm' or 's'
    std::optional<int> dataBits;         // 5..8
    std::optional<int> stopTenths;       // 10, 15 or 20
    std::optional<bool> xon;             // XON/XOFF both ways
    std::optional<LineControl> dtr;
    std::optional<LineControl> rts;
    std::optional<bool> writeTimeout;    // to=: concerns writes only, which a source never does
    std::optional<bool> ctsOutput;       // octs=
    std::optional<bool> dsrOutput;       // odsr=
    std::optional<bool> dsrSensitivity;  // idsr=
};

struct SerialConnect {
    std::string device;
    SerialSettings settings;
};

// Throws std::runtime_error: kComUsage without a colon or device, else a text naming the
// setting that is not understood.
SerialConnect parseSerialConnect(std::string_view text);

// Puts the settings into `attributes` (the port's, made raw by the caller): speed, parity, data
// and stop bits, XON/XOFF and RTS/CTS flow control; receiving on, modem status lines ignored.
// DTR and RTS levels are modem lines, not attributes (the transport sets them). Throws
// std::runtime_error for what this system cannot do (DTR handshake, RTS toggle, DSR flow
// control, 1.5 stop bits without 5 data bits).
void applySerialSettings(const SerialSettings& settings, termios& attributes);

}  // namespace tg
