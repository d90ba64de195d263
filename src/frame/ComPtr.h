// Owns one reference to a COM-style interface and releases it when destroyed.
#pragma once

#include <utility>

#include "optivane/com.h"

namespace optivane {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference that the caller already owns.
    static ComPtr Adopt(T* pointer) {
        ComPtr result;
        result.m_pointer = pointer;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* pointer) {
        if (pointer != nullptr) pointer->AddRef();
        return Adopt(pointer);
    }
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    void Reset() {
        if (m_pointer != nullptr) std::exchange(m_pointer, nullptr)->Release();
    }
    // Gives up ownership without releasing.
    T* Detach() { return std::exchange(m_pointer, nullptr); }
    // Out-pointer for calls that hand out a reference; releases any held one first.
    T** Receive() {
        Reset();
        return &m_pointer;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    T* Get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

private:
    T* m_pointer = nullptr;
};

}  // namespace optivane
