// How a step that may fail says so, everywhere in the project: it gives its value or a Failure, a
// message of one line for the user (without the program's name, which the program adds). A step
// with nothing to give gives std::optional<Failure>: none when it went well. A failure kept beside
// what did come (a request's outcome, a reply that answers something else) is its `message` field,
// and a captured or received frame carries its own fault, since it is read all the same.
#pragma once

#include <string>
#include <variant>

namespace text {

struct Failure {
    std::string message;

    friend bool operator==(const Failure&, const Failure&) = default;
};

// A value, or the Failure that kept it from being made.
template <class T>
using Result = std::variant<T, Failure>;

}  // namespace text
