#pragma once
// A list of texts kept one after another in one character buffer, with where each one ends:
// no allocation per text, and a copy is two flat copies. Texts are only ever appended (or all
// cleared). Holds the x labels of a diagram and the stored text slots of an axis.
//
// Not thread-safe: its owner's lock guards it.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

class TextList {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        const_iterator(const TextList* list, std::size_t at) : m_list(list), m_at(at) {}
        std::string_view operator*() const { return (*m_list)[m_at]; }
        const_iterator& operator++() {
            ++m_at;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++m_at;
            return before;
        }
        bool operator==(const const_iterator& other) const { return m_at == other.m_at; }

    private:
        const TextList* m_list = nullptr;
        std::size_t m_at = 0;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;

    TextList() = default;
    TextList(std::initializer_list<std::string_view> texts);
    explicit TextList(const std::vector<std::string>& texts);

    std::size_t size() const { return m_ends.size(); }
    bool empty() const { return m_ends.empty(); }
    std::string_view operator[](std::size_t at) const {
        const std::size_t start = at == 0 ? 0 : m_ends[at - 1];
        return std::string_view(m_chars).substr(start, m_ends[at] - start);
    }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    void push_back(std::string_view text) {
        m_chars.append(text);
        m_ends.push_back(m_chars.size());
    }
    void clear();
    // Replaces the texts by `texts`, keeping the room there is.
    void assign(const std::vector<std::string>& texts);
    // Room for `count` more texts of `chars` characters together.
    void reserve(std::size_t count, std::size_t chars);
    // Empties the list, keeping room for `count` texts of `chars` characters with its memory
    // already touched: copying into it (operator=) later causes no page faults.
    void makeRoom(std::size_t count, std::size_t chars);
    // The characters of all texts together, one text after another.
    std::size_t textBytes() const { return m_chars.size(); }
    std::string_view chars() const { return m_chars; }
    // Appends the texts [from, to) of `other`.
    void append(const TextList& other, std::size_t from, std::size_t to);
    std::vector<std::string> strings() const;

    friend bool operator==(const TextList&, const TextList&) = default;
    friend bool operator==(const TextList& list, const std::vector<std::string>& texts);

private:
    std::string m_chars;
    std::vector<std::uint64_t> m_ends;  // one past each text's last character
};

// One text per line, for test failure messages.
std::ostream& operator<<(std::ostream& out, const TextList& list);

}  // namespace tg
