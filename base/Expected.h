// The result of an operation that either gives a value or says why it could
// not: the one error style of the program's layer boundaries where a failure
// carries more than a kind. (Where a kind is all there is, the boundary uses
// an enum class, such as the walk's WalkStep.)
// A small stand-in for C++23's std::expected, with the same spelling, so the
// code can move to the standard type unchanged.
#pragma once

#include <optional>
#include <utility>
#include <variant>

namespace tolvane {

template <typename E>
struct Unexpected {
    E failure;
};

// Builds the failure side: `return Failed(OpenFailure{...});`
template <typename E>
[[nodiscard]] Unexpected<std::decay_t<E>> Failed(E&& failure)
{
    return {std::forward<E>(failure)};
}

template <typename T, typename E>
class [[nodiscard]] Expected {
public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected<E> failure) : state_(std::in_place_index<1>, std::move(failure.failure)) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

// An operation with nothing to give back but its failure.
template <typename E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    Expected(Unexpected<E> failure) : failure_(std::move(failure.failure)) {}

    bool has_value() const { return !failure_.has_value(); }
    explicit operator bool() const { return has_value(); }
    const E& error() const { return *failure_; }

private:
    std::optional<E> failure_;
};

}  // namespace tolvane
