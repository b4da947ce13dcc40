#include "http/request_reader.h"

#include <algorithm>
#include <cctype>

namespace tg {
namespace {

std::string_view trimLeft(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

std::string CRequest::header(std::string name) const {
    auto it = headers.find(lowerCase(name));
    return it == headers.end() ? std::string() : it->second;
}

std::size_t RequestReader::feed(std::string_view bytes) {
    std::size_t used = 0;
    while (used < bytes.size() && !done()) {
        if (m_state == State::Body) {
            const std::size_t wanted = m_request.contentLength - m_request.body.size();
            const std::size_t take = std::min(wanted, bytes.size() - used);
            takeBody(bytes.substr(used, take));
            used += take;
            if (done() && used < bytes.size()) {
                m_bytesBeyond = true;
                used = bytes.size();  // bytes beyond the declared length are dropped
            }
            continue;
        }
        // Up to the next line end (or the end of these bytes), within the head's limit.
        const std::string_view rest = bytes.substr(used);
        const std::size_t lineEnd = rest.find('\n');
        const std::size_t take = lineEnd == std::string_view::npos ? rest.size() : lineEnd + 1;
        const std::size_t room = m_limits.maxHeadBytes - m_headBytes;
        if (take > room) {  // the byte after the limit makes the head too long
            used += room + 1;
            m_state = State::Bad;
            break;
        }
        m_headBytes += take;
        used += take;
        for (std::string_view piece = rest.substr(0, std::min(take, lineEnd)); !piece.empty();) {
            const std::size_t cr = piece.find('\r');
            m_line.append(piece.substr(0, cr));
            piece.remove_prefix(cr == std::string_view::npos ? piece.size() : cr + 1);
        }
        if (lineEnd == std::string_view::npos) break;  // the line goes on in the next receive
        if (m_line.empty()) {
            endOfHead();
        } else {
            processLine();
        }
    }
    if (done() && used < bytes.size()) m_bytesBeyond = true;
    return used;
}

void RequestReader::processLine() {
    const std::string_view line = m_line;
    if (m_state == State::RequestLine) {
        const std::size_t blank = line.find(' ');
        if (blank != std::string_view::npos) {
            m_request.method = std::string(line.substr(0, blank));
            const std::string_view rest = trimLeft(line.substr(blank + 1));
            const std::size_t second = rest.find(' ');
            std::string_view target = rest;
            if (!rest.empty() && second != std::string_view::npos) {
                target = rest.substr(0, second);
                m_request.version = std::string(trimLeft(rest.substr(second + 1)));
            } else {
                target = trimRight(rest);
            }
            const std::size_t question = target.find('?');
            if (question != std::string_view::npos) {
                m_request.parameterText = std::string(target.substr(question + 1));
                target = target.substr(0, question);
                m_request.execKind = ExecKind::Parameters;
            }
            m_request.url = std::string(target);
        }
        m_state = State::Headers;  // whatever the line held
    } else {
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            m_request.headers[lowerCase(line.substr(0, colon))] =
                std::string(trimLeft(line.substr(colon + 1)));
        }
    }
    m_line.clear();
}

void RequestReader::endOfHead() {
    const std::string declared = m_request.header("Content-Length");
    if (declared.empty()) {
        m_state = State::Complete;
        return;
    }
    // A plain decimal number within the body limit; anything else is a bad request (a
    // negative or non-numeric length would otherwise be read as some arbitrary size).
    const std::string_view digits = trimRight(declared);
    if (digits.empty() || digits.size() > 10 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        m_state = State::Bad;
        return;
    }
    const unsigned long long length = std::stoull(std::string(digits));
    if (length > m_limits.maxBodyBytes) {
        m_state = State::Bad;
        return;
    }
    m_request.contentLength = static_cast<std::size_t>(length);
    m_state = State::Body;
    if (length == 0) m_state = State::Complete;
}

void RequestReader::takeBody(std::string_view bytes) {
    m_request.body.append(bytes);
    if (m_request.body.size() >= m_request.contentLength) m_state = State::Complete;
}

}  // namespace tg
