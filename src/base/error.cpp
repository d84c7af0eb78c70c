#include "base/error.hpp"

#include <string_view>

namespace murv {

std::string Error::describe() const {
    std::string text = message_;
    if (cause_ == nullptr) return text;
    text += "\n\nCaused by:";
    for (const Error* cause = cause_.get(); cause != nullptr; cause = cause->cause()) {
        std::string_view rest = cause->message();
        for (;;) {
            const auto end = rest.find('\n');
            text += "\n    ";
            text += rest.substr(0, end);
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 1);
        }
    }
    return text;
}

}  // namespace murv
