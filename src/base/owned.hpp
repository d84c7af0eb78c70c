// The one owner of a system resource: a descriptor, a handle, a block the system allocated.
#pragma once

#include <utility>

namespace murv {

// Traits: the resource's type (Value), its empty value, which values name none, and free.
template <class Traits>
class Owned {
  public:
    using Value = typename Traits::Value;
    Owned() = default;
    explicit Owned(Value value) : value_(value) {}
    Owned(Owned&& other) noexcept : value_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~Owned() { reset(); }

    Value get() const { return value_; }
    explicit operator bool() const { return !Traits::none(value_); }

    Value release() { return std::exchange(value_, Traits::empty); }
    void reset(Value value = Traits::empty) {
        if (*this) Traits::free(value_);
        value_ = value;
    }

  private:
    Value value_ = Traits::empty;
};

// A resource freed by `Free`, of which null names none.
template <class T, auto Free>
struct FreedBy {
    using Value = T;
    static constexpr T empty{};
    static bool none(T value) { return value == empty; }
    static void free(T value) { Free(value); }
};

}  // namespace murv
