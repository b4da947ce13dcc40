#pragma once
// A counted borrow of one DataSource from the SourceManager. While any handle to a source
// exists, the manager refuses to remove it. Move-only; gives the borrow back when it ends
// or on release().

#include <utility>

#include "datasource/data_source.h"

namespace tg {

class SourceHandle {
public:
    SourceHandle() = default;
    explicit SourceHandle(DataSource* source) : m_source(source) {
        if (m_source) m_source->addUse();
    }
    ~SourceHandle() { release(); }
    SourceHandle(SourceHandle&& other) noexcept
        : m_source(std::exchange(other.m_source, nullptr)) {}
    SourceHandle& operator=(SourceHandle&& other) noexcept {
        if (this != &other) {
            release();
            m_source = std::exchange(other.m_source, nullptr);
        }
        return *this;
    }
    SourceHandle(const SourceHandle&) = delete;
    SourceHandle& operator=(const SourceHandle&) = delete;

    void release() {
        if (m_source) std::exchange(m_source, nullptr)->dropUse();
    }
    explicit operator bool() const { return m_source != nullptr; }
    DataSource* get() const { return m_source; }
    DataSource* operator->() const { return m_source; }
    DataSource& operator*() const { return *m_source; }

private:
    DataSource* m_source = nullptr;
};

}  // namespace tg
