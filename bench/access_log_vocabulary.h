#pragma once
// The words gen_access_log builds its lines from: user agents with their share of client
// hosts, user names, the site's pages, products, static files, and referring search engines.
// Changing any of them changes the generated log (and so the benchmark input).

#include <iterator>

namespace bench {

// Browsers first; from kFirstBotAgent on, crawlers and scripts (no user name, no referer).
constexpr const char* kUserAgents[] = {
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/122.0.0.0 Safari/537.36",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/121.0.0.0 Safari/537.36 Edg/121.0.2277.128",
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/17.3.1 Safari/605.1.15",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:123.0) Gecko/20100101 Firefox/123.0",
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/122.0.0.0 Safari/537.36",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_3_1 like Mac OS X) AppleWebKit/605.1.15 "
    "(KHTML, like Gecko) Version/17.3.1 Mobile/15E148 Safari/604.1",
    "Mozilla/5.0 (Linux; Android 14; SM-S918B) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/122.0.6261.105 Mobile Safari/537.36",
    "Mozilla/5.0 (X11; Ubuntu; Linux x86_64; rv:122.0) Gecko/20100101 Firefox/122.0",
    "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
    "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)",
    "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; GPTBot/1.0; "
    "+https://openai.com/gptbot)",
    "curl/7.88.1",
    "python-requests/2.31.0",
    "Prometheus/2.45.3",
};
// Share of hosts that use each agent above, in the same order.
constexpr unsigned kAgentWeights[] = {28, 5, 9, 11, 4, 11, 10, 3, 4, 3, 1, 6, 4, 3};
static_assert(std::size(kAgentWeights) == std::size(kUserAgents));
constexpr unsigned kFirstBotAgent = 8;

constexpr const char* kUsers[] = {"alice", "bob",   "carol",  "dave",   "erin",    "frank",
                                  "grace", "heidi", "ivan",   "judy",   "mallory", "oscar",
                                  "peggy", "trent", "victor", "walter", "admin",   "deploy"};

constexpr const char* kSite = "https://www.northwind.shop";

constexpr const char* kPages[] = {"/",        "/index.html", "/about",    "/contact",
                                  "/login",   "/cart",       "/checkout", "/account",
                                  "/blog",    "/faq",        "/shipping", "/returns",
                                  "/careers", "/privacy",    "/terms",    "/sitemap.xml"};

constexpr const char* kCategories[] = {"tents",   "backpacks", "sleeping-bags", "boots",
                                       "jackets", "stoves",    "lanterns",      "climbing",
                                       "kayaks",  "bikes",     "navigation",    "kids"};

constexpr const char* kBlogSlugs[] = {
    "choosing-a-three-season-tent", "how-to-layer-for-winter-hikes", "stove-fuel-compared",
    "ten-day-hikes-near-the-coast", "caring-for-leather-boots",      "packing-list-for-beginners",
    "kayak-safety-checklist",       "what-rain-jacket-ratings-mean"};

struct StaticFile {
    const char* path;
    unsigned size;  // bytes of a full response
};
constexpr StaticFile kStatic[] = {{"/static/css/main.4f9c2b1e.css", 48213},
                                  {"/static/css/vendor.0a7d33f2.css", 161790},
                                  {"/static/js/app.9e1b4c70.js", 412566},
                                  {"/static/js/vendor.1c2d8e55.js", 1048213},
                                  {"/static/js/runtime.77ab0c19.js", 2311},
                                  {"/static/fonts/inter-var.woff2", 317400},
                                  {"/static/img/logo.svg", 5120},
                                  {"/static/img/hero-mountains.webp", 286410},
                                  {"/favicon.ico", 15086},
                                  {"/robots.txt", 412},
                                  {"/apple-touch-icon.png", 9342},
                                  {"/manifest.webmanifest", 633}};

constexpr const char* kSearchWords[] = {
    "tent",         "ultralight", "waterproof+jacket", "boots",    "headlamp",
    "sleeping+pad", "gps",        "trekking+poles",    "gore-tex", "camp+chair"};

constexpr const char* kSearchReferers[] = {"https://www.google.com/",   "https://www.bing.com/",
                                           "https://duckduckgo.com/",   "https://www.google.de/",
                                           "https://search.yahoo.com/", "https://www.ecosia.org/"};

}  // namespace bench
