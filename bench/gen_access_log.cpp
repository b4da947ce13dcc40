// gen_access_log: writes a deterministic, realistic Apache "combined" access log, the input of
// the parsing benchmarks.
//
//   gen_access_log [--lines N] [--seed S] [OUTPUT]
//
// One million lines by default, to standard output when OUTPUT is missing. The same seed
// gives the same bytes on every machine: the generator uses its own PRNG (splitmix64) and
// integer arithmetic only, no libc randomness and no floating point.
//
// Shape of the data: a few thousand client addresses with Zipf-like popularity, each with a
// usual user agent; mostly "-" ident and user; time moving forward by at most a second per
// line over several days; GET dominant; static assets, pages and a JSON API, some with query
// strings; status mostly 200; response sizes skewed from a few bytes to a few megabytes.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "access_log_vocabulary.h"

namespace {

using namespace bench;

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, n) by multiply-high (bias far below anything measurable here).
    std::uint64_t below(std::uint64_t n) {
        return static_cast<std::uint64_t>((static_cast<unsigned __int128>(next()) * n) >> 64);
    }

    // True with probability percent/100.
    bool chance(unsigned percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

// A choice among items with integer weights.
template <typename T>
struct Weighted {
    T value;
    unsigned weight;
};

template <typename T, std::size_t N>
const T& pick(SplitMix64& rng, const Weighted<T> (&table)[N]) {
    unsigned total = 0;
    for (const auto& item : table) total += item.weight;
    std::uint64_t at = rng.below(total);
    for (const auto& item : table) {
        if (at < item.weight) return item.value;
        at -= item.weight;
    }
    return table[N - 1].value;
}

template <std::size_t N>
std::string_view pickOne(SplitMix64& rng, const char* const (&table)[N]) {
    return table[rng.below(N)];
}

enum class Kind { Static, Image, Page, Product, Blog, Api, ApiWrite };

struct Host {
    std::string address;
    unsigned agent;  // index into kUserAgents
};

class Generator {
public:
    explicit Generator(std::uint64_t seed) : m_rng(seed) {
        makeHosts();
        // 2024-03-01 00:00:00 UTC.
        m_time = 1709251200;
        formatTime();
    }

    void appendLine(std::string& out) {
        const Host& host = m_hosts[pickHost()];
        const bool bot = host.agent >= kFirstBotAgent;

        out += host.address;
        out += m_rng.chance(1) ? " ident " : " - ";
        if (!bot && m_rng.chance(7)) {
            out += pickOne(m_rng, kUsers);
        } else {
            out += '-';
        }
        out += " [";
        advanceTime();
        out.append(m_timeText, kTimeLength);
        out += "] \"";

        const Kind kind = pickKind(bot);
        const std::string_view method = pickMethod(kind);
        out += method;
        out += ' ';
        appendPath(out, kind);
        out += m_rng.chance(97) ? " HTTP/1.1\" " : " HTTP/2.0\" ";

        const unsigned status = pickStatus(kind, method);
        appendNumber(out, status);
        out += ' ';
        appendBytes(out, kind, status, method);
        out += " \"";
        appendReferer(out, kind, bot);
        out += "\" \"";
        // Most requests come with the host's usual agent; shared addresses (NAT) vary.
        out += m_rng.chance(92) ? kUserAgents[host.agent] : kUserAgents[pickAgentIndex()];
        out += "\"\n";
    }

private:
    static constexpr std::size_t kHostCount = 3000;
    static constexpr std::size_t kTimeLength = 26;  // dd/Mon/yyyy:HH:MM:SS +0000

    unsigned pickAgentIndex() {
        unsigned total = 0;
        for (unsigned w : kAgentWeights) total += w;
        std::uint64_t at = m_rng.below(total);
        for (unsigned i = 0; i < std::size(kAgentWeights); ++i) {
            if (at < kAgentWeights[i]) return i;
            at -= kAgentWeights[i];
        }
        return 0;
    }

    void makeHosts() {
        // Plausible public first octets (no 0, 10, 127, 224+).
        static constexpr unsigned kFirst[] = {23,  31,  37,  45,  51,  62,  66,  77,  81,
                                              84,  88,  91,  93,  95,  109, 141, 151, 176,
                                              178, 185, 188, 193, 195, 203, 212, 213, 217};
        m_hosts.reserve(kHostCount);
        for (std::size_t i = 0; i < kHostCount; ++i) {
            Host host;
            host.address = std::to_string(kFirst[m_rng.below(std::size(kFirst))]);
            for (int octet = 0; octet < 3; ++octet) {
                host.address += '.';
                host.address +=
                    std::to_string(m_rng.below(octet == 2 ? 254 : 256) + (octet == 2 ? 1 : 0));
            }
            host.agent = pickAgentIndex();
            m_hosts.push_back(std::move(host));
        }
        // Zipf-Mandelbrot weights 1/(rank + 5) in integers, so every platform agrees.
        std::uint64_t sum = 0;
        m_cumulative.reserve(kHostCount);
        for (std::size_t rank = 1; rank <= kHostCount; ++rank) {
            sum += (std::uint64_t{1} << 40) / (rank + 5);
            m_cumulative.push_back(sum);
        }
    }

    std::size_t pickHost() {
        const std::uint64_t at = m_rng.below(m_cumulative.back());
        return static_cast<std::size_t>(
            std::upper_bound(m_cumulative.begin(), m_cumulative.end(), at) - m_cumulative.begin());
    }

    void advanceTime() {
        // About 40% of lines start a new second: a million lines span roughly 4.6 days.
        if (m_rng.chance(40)) {
            ++m_time;
            formatTime();
        }
    }

    void formatTime() {
        static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const std::int64_t days = m_time / 86400;
        const std::int64_t secs = m_time % 86400;
        // Civil date from days since 1970-01-01 (H. Hinnant's algorithm).
        const std::int64_t z = days + 719468;
        const std::int64_t era = z / 146097;
        const std::int64_t doe = z - era * 146097;
        const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const std::int64_t mp = (5 * doy + 2) / 153;
        const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
        const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
        const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
        std::snprintf(m_timeText, sizeof m_timeText, "%02d/%s/%04d:%02d:%02d:%02d +0000",
                      static_cast<int>(day), kMonths[month - 1], static_cast<int>(year),
                      static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                      static_cast<int>(secs % 60));
    }

    Kind pickKind(bool bot) {
        if (bot) {
            static constexpr Weighted<Kind> kBotKinds[] = {{Kind::Page, 40},
                                                           {Kind::Product, 30},
                                                           {Kind::Blog, 15},
                                                           {Kind::Api, 10},
                                                           {Kind::Static, 5}};
            return pick(m_rng, kBotKinds);
        }
        static constexpr Weighted<Kind> kKinds[] = {
            {Kind::Static, 34}, {Kind::Image, 20}, {Kind::Page, 14},   {Kind::Product, 10},
            {Kind::Blog, 4},    {Kind::Api, 14},   {Kind::ApiWrite, 4}};
        return pick(m_rng, kKinds);
    }

    std::string_view pickMethod(Kind kind) {
        if (kind == Kind::ApiWrite) {
            static constexpr Weighted<const char*> kWrites[] = {
                {"POST", 70}, {"PUT", 18}, {"DELETE", 8}, {"PATCH", 4}};
            return pick(m_rng, kWrites);
        }
        if (kind == Kind::Page && m_rng.chance(4)) return "POST";  // forms: login, checkout
        if (m_rng.chance(3)) return "HEAD";
        if (m_rng.chance(1)) return "OPTIONS";
        return "GET";
    }

    void appendPath(std::string& out, Kind kind) {
        switch (kind) {
            case Kind::Static:
                m_static = static_cast<std::size_t>(m_rng.below(std::size(kStatic)));
                out += kStatic[m_static].path;
                if (m_rng.chance(10)) {
                    out += "?v=";
                    appendNumber(out, 1700000000 + m_rng.below(9000000));
                }
                break;
            case Kind::Image:
                out += "/images/products/";
                appendNumber(out, 10000 + m_rng.below(5000));
                out += m_rng.chance(30) ? "-large.jpg"
                                        : (m_rng.chance(50) ? "-thumb.webp" : "-medium.jpg");
                break;
            case Kind::Page:
                out += pickOne(m_rng, kPages);
                if (m_rng.chance(12)) {
                    out += "?utm_source=newsletter&utm_campaign=spring";
                }
                break;
            case Kind::Product:
                out += "/products/";
                out += pickOne(m_rng, kCategories);
                if (m_rng.chance(70)) {
                    out += "/item-";
                    appendNumber(out, 1000 + m_rng.below(9000));
                } else {
                    out += "?sort=";
                    out += m_rng.chance(50) ? "price-asc" : "popularity";
                    out += "&page=";
                    appendNumber(out, 1 + m_rng.below(12));
                }
                break;
            case Kind::Blog:
                out += "/blog/2024/0";
                appendNumber(out, 1 + m_rng.below(3));
                out += '/';
                out += pickOne(m_rng, kBlogSlugs);
                break;
            case Kind::Api:
                appendApiRead(out);
                break;
            case Kind::ApiWrite:
                out += "/api/v1/";
                out += m_rng.chance(60) ? "cart/items/" : "orders/";
                appendNumber(out, 100000 + m_rng.below(900000));
                break;
        }
    }

    void appendApiRead(std::string& out) {
        switch (m_rng.below(5)) {
            case 0:
                out += "/api/v1/products?category=";
                out += pickOne(m_rng, kCategories);
                out += "&limit=24&offset=";
                appendNumber(out, 24 * m_rng.below(10));
                break;
            case 1:
                out += "/api/v1/search?q=";
                out += pickOne(m_rng, kSearchWords);
                break;
            case 2:
                out += "/api/v1/users/";
                appendNumber(out, 1 + m_rng.below(250000));
                out += "/profile";
                break;
            case 3:
                out += "/api/v1/cart";
                break;
            default:
                out += "/api/v1/products/";
                appendNumber(out, 1000 + m_rng.below(9000));
                out += "/reviews?page=";
                appendNumber(out, 1 + m_rng.below(5));
                break;
        }
    }

    unsigned pickStatus(Kind kind, std::string_view method) {
        if (kind == Kind::ApiWrite) {
            static constexpr Weighted<unsigned> kWrite[] = {
                {200, 55}, {201, 25}, {204, 8}, {400, 5}, {401, 3}, {409, 2}, {500, 2}};
            return pick(m_rng, kWrite);
        }
        if (method == "POST") {
            static constexpr Weighted<unsigned> kForm[] = {{302, 70}, {200, 25}, {403, 5}};
            return pick(m_rng, kForm);
        }
        if (kind == Kind::Static || kind == Kind::Image) {
            static constexpr Weighted<unsigned> kAsset[] = {{200, 700}, {304, 220}, {404, 40},
                                                            {206, 20},  {403, 5},   {500, 2}};
            return pick(m_rng, kAsset);
        }
        static constexpr Weighted<unsigned> kOther[] = {{200, 850}, {304, 40}, {404, 45},
                                                        {301, 30},  {302, 15}, {403, 8},
                                                        {500, 7},   {503, 3},  {401, 2}};
        return pick(m_rng, kOther);
    }

    // Skewed sizes: a power of two chosen first, then a uniform value within it.
    std::uint64_t skewedSize(unsigned minBits, unsigned maxBits) {
        const unsigned span = maxBits - minBits + 1;
        // Smaller exponents are more likely: triangular over the span.
        const unsigned bits =
            minBits + static_cast<unsigned>(std::min(m_rng.below(span), m_rng.below(span)));
        const std::uint64_t low = std::uint64_t{1} << bits;
        return low + m_rng.below(low);
    }

    void appendBytes(std::string& out, Kind kind, unsigned status, std::string_view method) {
        std::uint64_t bytes = 0;
        if (status == 304 || status == 204 || method == "HEAD" || method == "OPTIONS") {
            // Apache's %b writes "-" for an empty body; some formats use %B and write 0.
            if (m_rng.chance(70)) {
                out += '-';
                return;
            }
        } else if (status == 301 || status == 302) {
            bytes = 180 + m_rng.below(80);
        } else if (status >= 400) {
            bytes = 150 + m_rng.below(400);
        } else if (kind == Kind::Image) {
            bytes = skewedSize(12, 21);  // 4 KiB .. 4 MiB
        } else if (kind == Kind::Static) {
            bytes = kStatic[m_static].size;
            if (status == 206) bytes = m_rng.below(bytes) + 1;
        } else if (kind == Kind::Api || kind == Kind::ApiWrite) {
            bytes = skewedSize(6, 16);
        } else {
            bytes = skewedSize(12, 17);  // HTML pages
        }
        appendNumber(out, bytes);
    }

    void appendReferer(std::string& out, Kind kind, bool bot) {
        if (bot || m_rng.chance(kind == Kind::Page ? 50 : 35)) {
            out += '-';
            return;
        }
        if (kind == Kind::Page && m_rng.chance(40)) {
            out += pickOne(m_rng, kSearchReferers);
            return;
        }
        out += kSite;
        switch (m_rng.below(4)) {
            case 0:
                out += '/';
                break;
            case 1:
                out += "/products/";
                out += pickOne(m_rng, kCategories);
                break;
            case 2:
                out += "/products/";
                out += pickOne(m_rng, kCategories);
                out += "/item-";
                appendNumber(out, 1000 + m_rng.below(9000));
                break;
            default:
                out += pickOne(m_rng, kPages);
                break;
        }
    }

    static void appendNumber(std::string& out, std::uint64_t value) {
        char text[24];
        const auto result = std::to_chars(text, text + sizeof text, value);
        out.append(text, result.ptr);
    }

    SplitMix64 m_rng;
    std::vector<Host> m_hosts;
    std::vector<std::uint64_t> m_cumulative;  // running sums of the hosts' weights
    std::size_t m_static = 0;                 // the static file of the current line
    std::int64_t m_time = 0;                  // seconds since 1970, UTC
    char m_timeText[kTimeLength + 8] = {};
};

void usage() { std::fputs("usage: gen_access_log [--lines N] [--seed S] [OUTPUT]\n", stderr); }

bool parseNumber(const char* text, std::uint64_t& value) {
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, value);
    return result.ec == std::errc() && result.ptr == end && end != text;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t lines = 1000000;
    std::uint64_t seed = 20240301;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if ((arg == "--lines" || arg == "--seed") && i + 1 < argc) {
            std::uint64_t& target = arg == "--lines" ? lines : seed;
            if (!parseNumber(argv[++i], target)) {
                std::fprintf(stderr, "gen_access_log: %s needs a non-negative integer\n",
                             argv[i - 1]);
                return 2;
            }
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            usage();
            return 2;
        } else if (output == nullptr) {
            output = argv[i];
        } else {
            usage();
            return 2;
        }
    }

    std::FILE* file = stdout;
    if (output != nullptr && std::string_view(output) != "-") {
        file = std::fopen(output, "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "gen_access_log: cannot open %s: %s\n", output,
                         std::strerror(errno));
            return 1;
        }
    }

    constexpr std::size_t kFlushAt = std::size_t{8} << 20;
    std::string buffer;
    buffer.reserve(kFlushAt + 4096);
    Generator generator(seed);
    bool ok = true;
    for (std::uint64_t n = 0; n < lines && ok; ++n) {
        generator.appendLine(buffer);
        if (buffer.size() >= kFlushAt) {
            ok = std::fwrite(buffer.data(), 1, buffer.size(), file) == buffer.size();
            buffer.clear();
        }
    }
    if (ok && !buffer.empty()) {
        ok = std::fwrite(buffer.data(), 1, buffer.size(), file) == buffer.size();
    }
    if (std::fflush(file) != 0) ok = false;
    if (file != stdout && std::fclose(file) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "gen_access_log: write failed: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
