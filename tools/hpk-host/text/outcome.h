// The host tool's one failure shape. A function of the tool that can fail
// returns an Outcome: its value, or the one line that tells the user why not.
// The framework's readers keep their BindingResult; the tool turns it into a
// Failure where it calls them.
#pragma once
#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace hpk::host {

// Why something failed, as the user reads it.
struct Failure {
    std::string message;
};

inline Failure Fail(std::string message) { return Failure{std::move(message)}; }

// A value, or a Failure. Construct from either; read the value only when
// IsOk(). Error() is "" on success.
template <typename T = void>
class [[nodiscard]] Outcome {
public:
    // Two overloads, not one by value: `return local;` then moves with every
    // compiler the project builds with.
    Outcome(const T& value) : state_(std::in_place_index<0>, value) {}
    Outcome(T&& value) : state_(std::in_place_index<0>, std::move(value)) {}
    Outcome(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool IsOk() const { return state_.index() == 0; }
    T& Value() {
        assert(IsOk());
        return std::get<0>(state_);
    }
    const T& Value() const {
        assert(IsOk());
        return std::get<0>(state_);
    }
    const std::string& Error() const {
        static const std::string kNone;
        return IsOk() ? kNone : std::get<1>(state_).message;
    }

private:
    std::variant<T, Failure> state_;
};

// Success, or a Failure, for operations that have no value to give.
template <>
class [[nodiscard]] Outcome<void> {
public:
    Outcome() = default;
    Outcome(Failure failure) : error_(std::move(failure.message)), failed_(true) {}

    bool IsOk() const { return !failed_; }
    const std::string& Error() const { return error_; }

private:
    std::string error_;
    bool failed_ = false;
};

}  // namespace hpk::host
