// Owning references to GObjects and GErrors, released when destroyed.
#pragma once

#include <glib-object.h>

#include <utility>

namespace optivane {

template <typename T>
class GObjectPtr {
public:
    GObjectPtr() = default;
    // Takes over a reference the caller owns (a "transfer full" result).
    static GObjectPtr Adopt(T* object) {
        GObjectPtr result;
        result.m_object = object;
        return result;
    }
    // Adds a reference of its own.
    static GObjectPtr Share(T* object) { return Adopt(object != nullptr ? static_cast<T*>(g_object_ref(object)) : nullptr); }

    ~GObjectPtr() { Reset(); }
    GObjectPtr(GObjectPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    GObjectPtr& operator=(GObjectPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }
    GObjectPtr(const GObjectPtr& other) : m_object(other.m_object) {
        if (m_object != nullptr) g_object_ref(m_object);
    }
    GObjectPtr& operator=(const GObjectPtr& other) {
        if (this != &other) *this = Share(other.m_object);
        return *this;
    }

    void Reset() {
        if (m_object != nullptr) g_object_unref(std::exchange(m_object, nullptr));
    }
    T* Get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

// A GError out-argument that frees what it received.
class GErrorPtr {
public:
    GErrorPtr() = default;
    ~GErrorPtr() { Clear(); }
    GErrorPtr(const GErrorPtr&) = delete;
    GErrorPtr& operator=(const GErrorPtr&) = delete;

    // For the error argument of a call; clears any earlier error first.
    GError** Out() {
        Clear();
        return &m_error;
    }
    void Clear() { g_clear_error(&m_error); }
    bool IsSet() const { return m_error != nullptr; }
    explicit operator bool() const { return IsSet(); }
    const char* Message() const { return m_error != nullptr ? m_error->message : ""; }
    int Code() const { return m_error != nullptr ? m_error->code : 0; }

private:
    GError* m_error = nullptr;
};

}  // namespace optivane
