#include "pty/environment.hpp"

#include <optional>

namespace murv::pty {
namespace {

bool same_name(const std::string& a, const std::string& b) {
    return !EnvNameLess()(a, b) && !EnvNameLess()(b, a);
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

Environment with_stored(Environment environment, const os::StoredEnvironment& stored) {
    const auto value_of = [&](const os::StoredVariable& variable) {
        return variable.expandable ? expand_references(variable.value, environment)
                                   : variable.value;
    };
    std::optional<std::string> machine_path;
    for (const os::StoredVariable& variable : stored.machine) {
        if (same_name(variable.name, "USERNAME")) continue;
        std::string value = value_of(variable);
        if (same_name(variable.name, "Path")) machine_path = value;
        environment.erase(variable.name);
        environment.emplace(variable.name, std::move(value));
    }
    for (const os::StoredVariable& variable : stored.user) {
        std::string value = value_of(variable);
        if (same_name(variable.name, "Path") && machine_path) {
            value = *machine_path + ";" + value;
        }
        environment.erase(variable.name);
        environment.emplace(variable.name, std::move(value));
    }
    return environment;
}

Environment default_environment() {
    Environment environment;
    for (auto& [name, value] : os::process_environment()) {
        environment.insert_or_assign(std::move(name), std::move(value));
    }
    return with_stored(std::move(environment), os::stored_environment());
}

}  // namespace murv::pty
