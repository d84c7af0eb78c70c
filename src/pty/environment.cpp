#include "pty/environment.hpp"

#include <string_view>

namespace murv::pty {
namespace {

// `list` with `more` appended, with a ';' between where neither has one.
std::string joined(std::string list, std::string_view more) {
    if (!list.empty() && !list.ends_with(';') && !more.starts_with(';')) list += ';';
    return list += more;
}

}  // namespace

std::string expand_references(std::string_view value, const Environment& environment) {
    std::string expanded;
    while (!value.empty()) {
        const auto open = value.find('%');
        const auto close = open == std::string_view::npos ? open : value.find('%', open + 1);
        if (close == std::string_view::npos) break;
        expanded += value.substr(0, open);
        const auto found = environment.find(std::string(value.substr(open + 1, close - open - 1)));
        if (close > open + 1 && found != environment.end()) {
            expanded += found->second;
        } else {
            expanded += value.substr(open, close - open + 1);  // left as written
        }
        value.remove_prefix(close + 1);
    }
    expanded += value;
    return expanded;
}

Environment default_environment() {
    Environment environment;
    for (auto& [name, value] : os::process_environment()) {
        environment.insert_or_assign(std::move(name), std::move(value));
    }
    for (const os::StoredVariable& variable : os::stored_environment()) {
        std::string value =
            variable.expandable ? expand_references(variable.value, environment) : variable.value;
        const auto found = environment.find(variable.name);
        if (variable.joins && found != environment.end()) {
            value = joined(std::move(found->second), value);
        }
        // Erase first: the stored spelling of the name is the one kept.
        environment.erase(variable.name);
        environment.emplace(variable.name, std::move(value));
    }
    return environment;
}

}  // namespace murv::pty
