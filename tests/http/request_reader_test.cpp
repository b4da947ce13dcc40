#include "http/request_reader.h"

#include <gtest/gtest.h>

#include "http/response_head.h"

namespace tg {
namespace {

const HttpLimits kLimits{};

// Feeds `bytes` in pieces cut at `cuts` (offsets), as separate receives would bring them.
RequestReader readCut(std::string_view bytes, std::vector<std::size_t> cuts) {
    RequestReader reader(kLimits);
    std::size_t from = 0;
    cuts.push_back(bytes.size());
    for (std::size_t cut : cuts) {
        reader.feed(bytes.substr(from, cut - from));
        from = cut;
    }
    return reader;
}

TEST(RequestReader, EveryCutOfARequestReadsTheSame) {
    const std::string text =
        "POST /page.html?action=x&id=3 HTTP/1.0\r\nHost: a\r\nContent-LENGTH: 5\r\n"
        "X-Twice: 1\r\nx-twice: 2\r\n\r\nhello";
    const RequestReader whole = readCut(text, {});
    ASSERT_EQ(whole.state(), RequestReader::State::Complete);
    const CRequest& request = whole.request();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, "/page.html");
    EXPECT_EQ(request.parameterText, "action=x&id=3");
    EXPECT_EQ(request.execKind, ExecKind::Parameters);
    EXPECT_EQ(request.version, "HTTP/1.0");
    EXPECT_EQ(request.header("x-twice"), "2");  // a repeated header keeps its last value
    EXPECT_EQ(request.body, "hello");
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        for (std::size_t second = cut; second <= text.size(); second += 7) {
            SCOPED_TRACE(std::to_string(cut) + "/" + std::to_string(second));
            const RequestReader split = readCut(text, {cut, second});
            ASSERT_EQ(split.state(), RequestReader::State::Complete);
            EXPECT_EQ(split.request().headers, request.headers);
            EXPECT_EQ(split.request().body, "hello");
            EXPECT_EQ(split.request().url, "/page.html");
        }
    }
    // Every proper prefix still needs more.
    for (std::size_t size = 0; size < text.size(); ++size) {
        EXPECT_FALSE(readCut(text.substr(0, size), {}).done()) << size;
    }
}

TEST(RequestReader, RequestLinesOfEveryShape) {
    struct Row {
        const char* text;
        const char* method;
        const char* url;
        const char* version;
    };
    const Row rows[] = {
        {"get /index.html HTTP/1.0\r\n\r\n", "get", "/index.html", "HTTP/1.0"},
        {"GET /x.html\r\n\r\n", "GET", "/x.html", ""},
        {"GET    /spaced.html   \r\n\r\n", "GET", "/spaced.html", ""},
        {"GET /a\rb HTTP/1.0\n\n", "GET", "/ab", "HTTP/1.0"},  // a CR inside a line is dropped
        {"NOBLANK\r\n\r\n", "", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const RequestReader reader = readCut(row.text, {});
        ASSERT_EQ(reader.state(), RequestReader::State::Complete);
        EXPECT_EQ(reader.request().method, row.method);
        EXPECT_EQ(reader.request().url, row.url);
        EXPECT_EQ(reader.request().version, row.version);
    }
}

TEST(RequestReader, BodyIsCutToItsDeclaredLengthAndWaitsWhenShort) {
    RequestReader longer(kLimits);
    const std::string text = "POST /p.html HTTP/1.0\r\nContent-Length: 10\r\n\r\n0123456789abcde";
    EXPECT_EQ(longer.feed(text), text.size());
    EXPECT_EQ(longer.request().body, "0123456789");
    EXPECT_EQ(longer.feed("more"), 0u);  // nothing is read after completion
    EXPECT_TRUE(longer.sawBytesBeyond());  // the connection then lingers before it closes

    RequestReader shorter(kLimits);
    shorter.feed("POST /p.html HTTP/1.0\r\nContent-Length: 10\r\n\r\n0123");
    EXPECT_EQ(shorter.state(), RequestReader::State::Body);
    shorter.feed("456789");
    EXPECT_EQ(shorter.state(), RequestReader::State::Complete);
    EXPECT_FALSE(shorter.sawBytesBeyond());

    RequestReader none(kLimits);
    const std::string head = "DELETE /x HTTP/1.0\r\n\r\n";
    EXPECT_EQ(none.feed(head + "ignored"), head.size());
    EXPECT_EQ(none.state(), RequestReader::State::Complete);
    EXPECT_TRUE(none.sawBytesBeyond());
}

TEST(RequestReader, LimitsAndBadLengthsMakeABadRequest) {
    const std::string bad[] = {
        "POST / HTTP/1.0\r\nContent-Length: -1\r\n\r\n",
        "POST / HTTP/1.0\r\nContent-Length: 12abc\r\n\r\n",
        "POST / HTTP/1.0\r\nContent-Length: 1048577\r\n\r\n",
        "POST / HTTP/1.0\r\nContent-Length: 99999999999999999999\r\n\r\n",
        "GET / HTTP/1.0\r\nX-Big: " + std::string(70000, 'a') + "\r\n\r\n",
    };
    for (const std::string& text : bad) {
        SCOPED_TRACE(text.substr(0, 60));
        EXPECT_EQ(readCut(text, {}).state(), RequestReader::State::Bad);
    }
    HttpLimits small;
    small.maxHeadBytes = 20;
    RequestReader reader(small);
    reader.feed("GET /0123456789 HTTP/1.0\r\n");
    EXPECT_EQ(reader.state(), RequestReader::State::Bad);
    EXPECT_EQ(readCut("POST / HTTP/1.0\r\nContent-Length: 1048576\r\n\r\n", {}).state(),
              RequestReader::State::Body);  // exactly at the limit is fine
}

TEST(ResponseHead, StatusOnlyAnswersAndDates) {
    std::string out;
    appendStatusOnly(out, kStatusNotImplemented, 0);
    EXPECT_EQ(out,
              "HTTP/1.0 501 Not Implemented\r\nServer: Kestro-RuroVid/1.0\r\n"
              "Date: Thu, 01 Jan 1970 00:00:00 GMT\r\n\r\n");
    EXPECT_EQ(httpDate(1796544000), "Sun, 06 Dec 2026 08:00:00 GMT");
    EXPECT_EQ(statusText(kStatusRedirect), "302 Redirection");
    EXPECT_EQ(statusText(1), "");
}

}  // namespace
}  // namespace tg
