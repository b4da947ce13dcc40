#include "diagram/text_list.h"

#include <algorithm>
#include <ostream>

namespace tg {

TextList::TextList(std::initializer_list<std::string_view> texts) {
    for (std::string_view text : texts) push_back(text);
}

TextList::TextList(const std::vector<std::string>& texts) { assign(texts); }

void TextList::assign(const std::vector<std::string>& texts) {
    m_chars.clear();
    m_ends.clear();
    std::size_t chars = 0;
    for (const std::string& text : texts) chars += text.size();
    reserve(texts.size(), chars);
    for (const std::string& text : texts) push_back(text);
}

void TextList::clear() {
    // The room goes too: a cleared diagram of a million labels should not keep it.
    std::string().swap(m_chars);
    std::vector<std::uint64_t>().swap(m_ends);
}

void TextList::reserve(std::size_t count, std::size_t chars) {
    m_chars.reserve(m_chars.size() + chars);
    m_ends.reserve(m_ends.size() + count);
}

void TextList::makeRoom(std::size_t count, std::size_t chars) {
    m_chars.resize(chars);
    m_chars.clear();
    m_ends.resize(count);
    m_ends.clear();
}

void TextList::append(const TextList& other, std::size_t from, std::size_t to) {
    to = std::min(to, other.size());
    if (from >= to) return;
    const std::uint64_t start = from == 0 ? 0 : other.m_ends[from - 1];
    const std::uint64_t shift = m_chars.size() - start;
    m_chars.append(other.m_chars, start, other.m_ends[to - 1] - start);
    m_ends.reserve(m_ends.size() + (to - from));
    for (std::size_t at = from; at < to; ++at) m_ends.push_back(other.m_ends[at] + shift);
}

std::vector<std::string> TextList::strings() const {
    return std::vector<std::string>(begin(), end());
}

bool operator==(const TextList& list, const std::vector<std::string>& texts) {
    return list.size() == texts.size() && std::equal(list.begin(), list.end(), texts.begin());
}

std::ostream& operator<<(std::ostream& out, const TextList& list) {
    out << list.size() << " texts";
    for (std::string_view text : list) out << "\n  \"" << text << '"';
    return out;
}

}  // namespace tg
