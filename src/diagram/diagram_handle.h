#pragma once
// A counted borrow of one Diagram from the DiagramManager; while any exists, the manager
// refuses to remove it. Move-only; gives the borrow back when it ends or on release().

#include <utility>

#include "diagram/diagram.h"

namespace tg {

class DiagramHandle {
public:
    DiagramHandle() = default;
    explicit DiagramHandle(Diagram* diagram) : m_diagram(diagram) {
        if (m_diagram) m_diagram->addRef();
    }
    ~DiagramHandle() { release(); }
    DiagramHandle(DiagramHandle&& other) noexcept
        : m_diagram(std::exchange(other.m_diagram, nullptr)) {}
    DiagramHandle& operator=(DiagramHandle&& other) noexcept {
        if (this != &other) {
            release();
            m_diagram = std::exchange(other.m_diagram, nullptr);
        }
        return *this;
    }
    DiagramHandle(const DiagramHandle&) = delete;
    DiagramHandle& operator=(const DiagramHandle&) = delete;

    void release() {
        if (m_diagram) std::exchange(m_diagram, nullptr)->dropRef();
    }
    explicit operator bool() const { return m_diagram != nullptr; }
    Diagram* get() const { return m_diagram; }
    Diagram* operator->() const { return m_diagram; }
    Diagram& operator*() const { return *m_diagram; }

private:
    Diagram* m_diagram = nullptr;
};

}  // namespace tg
