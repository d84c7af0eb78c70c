// The error value of the session layer: a message and the chain of errors that caused it.
#pragma once

#include <expected>
#include <memory>
#include <string>

namespace murv {

class Error {
  public:
    explicit Error(std::string message) : message_(std::move(message)) {}
    // An error that adds `message` on top of the error that caused it.
    Error(std::string message, Error cause)
        : message_(std::move(message)), cause_(std::make_shared<const Error>(std::move(cause))) {}

    const std::string& message() const { return message_; }
    const Error* cause() const { return cause_.get(); }

    // The message, then "\n\nCaused by:" and each cause's lines indented by four, outermost first.
    std::string describe() const;

  private:
    std::string message_;
    std::shared_ptr<const Error> cause_;  // shared, so that errors copy cheaply
};

template <class T>
using Result = std::expected<T, Error>;

}  // namespace murv
