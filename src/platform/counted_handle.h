#pragma once
// A counted borrow of an object owned elsewhere (a source or a diagram of its manager): the
// owner refuses to remove the object while any borrow exists. Move-only; gives the borrow
// back when it ends or on release(). T provides addUse() and dropUse(), usually by deriving
// from BorrowCount.

#include <atomic>
#include <cstdint>
#include <utility>

namespace tg {

// The live borrows of an object. Any thread. A borrow given back happens before the owner
// sees the count it left, so an owner that finds none may destroy the object.
class BorrowCount {
public:
    void addUse() { m_uses.fetch_add(1); }
    void dropUse() {
        std::uint32_t uses = m_uses.load();
        while (uses > 0 && !m_uses.compare_exchange_weak(uses, uses - 1)) {
        }
    }
    std::uint32_t useCount() const { return m_uses.load(); }

protected:
    BorrowCount() = default;
    ~BorrowCount() = default;

private:
    std::atomic<std::uint32_t> m_uses{0};
};

template <class T>
class CountedHandle {
public:
    CountedHandle() = default;
    explicit CountedHandle(T* object) : m_object(object) {
        if (m_object) m_object->addUse();
    }
    ~CountedHandle() { release(); }
    CountedHandle(CountedHandle&& other) noexcept
        : m_object(std::exchange(other.m_object, nullptr)) {}
    CountedHandle& operator=(CountedHandle&& other) noexcept {
        if (this != &other) {
            release();
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }
    CountedHandle(const CountedHandle&) = delete;
    CountedHandle& operator=(const CountedHandle&) = delete;

    void release() {
        if (m_object) std::exchange(m_object, nullptr)->dropUse();
    }
    explicit operator bool() const { return m_object != nullptr; }
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }

private:
    T* m_object = nullptr;
};

}  // namespace tg
