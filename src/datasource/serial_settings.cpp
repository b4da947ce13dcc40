#include "datasource/serial_settings.h"

#include <termios.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tg {
namespace {

struct Rate {
    unsigned bits;
    speed_t speed;
};

constexpr Rate kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// The mode command's two-digit rates.
constexpr std::pair<unsigned, unsigned> kAbbreviations[] = {
    {11, 110},   {15, 150},   {30, 300},   {60, 600},   {12, 1200},
    {24, 2400},  {48, 4800},  {96, 9600},  {19, 19200},
};

std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

[[noreturn]] void notUnderstood(std::string_view setting) {
    throw std::runtime_error("Serial port setting not understood: \"" + std::string(setting) +
                             "\"");
}

const Rate* rateOf(unsigned bits) {
    const auto* found = std::find_if(std::begin(kRates), std::end(kRates),
                                     [&](const Rate& rate) { return rate.bits == bits; });
    return found == std::end(kRates) ? nullptr : found;
}

unsigned parseBaud(const std::string& value, std::string_view setting) {
    if (value.empty() || value.size() > 7 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        notUnderstood(setting);
    }
    unsigned bits = static_cast<unsigned>(std::stoul(value));
    if (value.size() == 2) {
        for (const auto& [shortForm, full] : kAbbreviations) {
            if (shortForm == bits) bits = full;
        }
    }
    if (!rateOf(bits)) {
        throw std::runtime_error("The baud rate " + std::to_string(bits) + " is not supported");
    }
    return bits;
}

char parseParity(const std::string& value, std::string_view setting) {
    if (value.size() != 1 || std::string_view("neoms").find(value[0]) == std::string_view::npos) {
        notUnderstood(setting);
    }
    return value[0];
}

int parseData(const std::string& value, std::string_view setting) {
    if (value.size() != 1 || value[0] < '5' || value[0] > '8') notUnderstood(setting);
    return value[0] - '0';
}

int parseStop(const std::string& value, std::string_view setting) {
    if (value == "1") return 10;
    if (value == "1.5") return 15;
    if (value == "2") return 20;
    notUnderstood(setting);
}

bool parseSwitch(const std::string& value, std::string_view setting) {
    if (value == "on") return true;
    if (value == "off") return false;
    notUnderstood(setting);
}

LineControl parseLine(const std::string& value, std::string_view setting, bool toggle) {
    if (value == "on") return LineControl::On;
    if (value == "off") return LineControl::Off;
    if (value == "hs") return LineControl::Handshake;
    if (toggle && value == "tg") return LineControl::Toggle;
    notUnderstood(setting);
}

std::vector<std::string_view> split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(separators, at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "baud=96 parity=n ...": each word a key and a value.
void parseModeWords(std::string_view text, SerialSettings& settings) {
    for (const std::string_view word : split(text, " \t")) {
        if (word.empty()) continue;
        const std::size_t equals = word.find('=');
        if (equals == std::string_view::npos) notUnderstood(word);
        const std::string key = lower(word.substr(0, equals));
        const std::string value = lower(word.substr(equals + 1));
        if (key == "baud") {
            settings.baud = parseBaud(value, word);
        } else if (key == "parity") {
            settings.parity = parseParity(value, word);
        } else if (key == "data") {
            settings.dataBits = parseData(value, word);
        } else if (key == "stop") {
            settings.stopTenths = parseStop(value, word);
        } else if (key == "xon") {
            settings.xon = parseSwitch(value, word);
        } else if (key == "dtr") {
            settings.dtr = parseLine(value, word, false);
        } else if (key == "rts") {
            settings.rts = parseLine(value, word, true);
        } else if (key == "to") {
            settings.writeTimeout = parseSwitch(value, word);
        } else if (key == "octs") {
            settings.ctsOutput = parseSwitch(value, word);
        } else if (key == "odsr") {
            settings.dsrOutput = parseSwitch(value, word);
        } else if (key == "idsr") {
            settings.dsrSensitivity = parseSwitch(value, word);
        } else {
            notUnderstood(word);
        }
    }
}

// "96,n,8,1[,x|p]"; an empty place keeps the port's setting.
void parseShortForm(std::string_view text, SerialSettings& settings) {
    const std::vector<std::string_view> places = split(text, ",");
    if (places.size() > 5) notUnderstood(text);
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::string value = lower(trim(places[i]));
        if (value.empty()) continue;
        switch (i) {
            case 0: settings.baud = parseBaud(value, text); break;
            case 1: settings.parity = parseParity(value, text); break;
            case 2: settings.dataBits = parseData(value, text); break;
            case 3: settings.stopTenths = parseStop(value, text); break;
            default:
                if (value == "x") {
                    settings.xon = true;
                } else if (value == "p") {
                    settings.rts = LineControl::Handshake;
                    settings.ctsOutput = true;
                } else {
                    notUnderstood(text);
                }
        }
    }
}

// COMn (n from 1) as the system names that port; anything else is a path.
std::string devicePath(std::string_view name) {
    if (name.size() > 3 && lower(name.substr(0, 3)) == "com" && name.size() <= 6 &&
        std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const unsigned number = static_cast<unsigned>(std::stoul(std::string(name.substr(3))));
        if (number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
    }
    return std::string(name);
}

[[noreturn]] void unsupported(const char* what) {
    throw std::runtime_error(std::string(what) + " is not supported on this system");
}

}  // namespace

SerialConnect parseSerialConnect(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) throw std::runtime_error(kComUsage);
    SerialConnect connect;
    connect.device = devicePath(text.substr(0, colon));
    const std::string_view settings = trim(text.substr(colon + 1));
    if (!settings.empty() && settings.find('=') == std::string_view::npos) {
        parseShortForm(settings, connect.settings);
    } else {
        parseModeWords(settings, connect.settings);
    }
    return connect;
}

void applySerialSettings(const SerialSettings& settings, termios& attributes) {
    if (settings.dtr == LineControl::Handshake) unsupported("dtr=hs (DTR handshake)");
    if (settings.rts == LineControl::Toggle) unsupported("rts=tg (RTS toggle)");
    if (settings.dsrOutput == true) unsupported("odsr=on (DSR output flow control)");
    if (settings.dsrSensitivity == true) unsupported("idsr=on (DSR sensitivity)");
    attributes.c_cflag |= CREAD | CLOCAL;
    if (settings.baud) {
        const speed_t speed = rateOf(*settings.baud)->speed;
        cfsetispeed(&attributes, speed);
        cfsetospeed(&attributes, speed);
    }
    if (settings.parity) {
        attributes.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
        switch (*settings.parity) {
            case 'e': attributes.c_cflag |= PARENB; break;
            case 'o': attributes.c_cflag |= PARENB | PARODD; break;
            case 'm': attributes.c_cflag |= PARENB | PARODD | CMSPAR; break;
            case 's': attributes.c_cflag |= PARENB | CMSPAR; break;
            default: break;
        }
    }
    if (settings.dataBits) {
        constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        attributes.c_cflag = (attributes.c_cflag & ~static_cast<tcflag_t>(CSIZE)) |
                             kSizes[*settings.dataBits - 5];
    }
    if (settings.stopTenths) {
        // One and a half stop bits are what the UART sends for "two" with 5 data bits.
        if (*settings.stopTenths == 15 && (attributes.c_cflag & CSIZE) != CS5) {
            throw std::runtime_error("stop=1.5 needs data=5");
        }
        if (*settings.stopTenths == 10) {
            attributes.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        } else {
            attributes.c_cflag |= CSTOPB;
        }
    }
    if (settings.xon) {
        if (*settings.xon) {
            attributes.c_iflag |= IXON | IXOFF;
        } else {
            attributes.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
        }
    }
    if (settings.rts || settings.ctsOutput) {
        // The system's hardware flow control is RTS and CTS together.
        if (settings.rts == LineControl::Handshake || settings.ctsOutput == true) {
            attributes.c_cflag |= CRTSCTS;
        } else {
            attributes.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        }
    }
    attributes.c_cc[VMIN] = 1;
    attributes.c_cc[VTIME] = 0;
}

}  // namespace tg
