#pragma once

// A COM reference: the interface is released when the reference goes.

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace pavix {

template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* adopted) : p_(adopted) {}
    ComRef(const ComRef& other) : p_(other.p_) {
        if (p_ != nullptr) {
            p_->AddRef();
        }
    }
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef& operator=(ComRef other) {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComRef() { Reset(); }

    void Reset() {
        if (p_ != nullptr) {
            std::exchange(p_, nullptr)->Release();
        }
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held first.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    template <typename U>
    ComRef<U> As(REFIID iid) const {
        ComRef<U> other;
        if (p_ != nullptr) {
            p_->QueryInterface(iid, other.PutVoid());
        }
        return other;
    }

private:
    T* p_ = nullptr;
};

}  // namespace pavix
