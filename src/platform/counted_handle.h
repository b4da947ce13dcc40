#pragma once
// A counted borrow of an object owned elsewhere (a source or a diagram of its manager): the
// owner refuses to remove the object while any borrow exists. Move-only; gives the borrow
// back when it ends or on release(). T provides addUse() and dropUse().

#include <utility>

namespace tg {

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
