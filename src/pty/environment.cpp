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

namespace {

// Each variable of `variables` whose expandable mark is `expandable`, in their order.
template <class Apply>
void each_of_kind(const std::vector<os::StoredVariable>& variables, bool expandable, Apply apply) {
    for (const os::StoredVariable& variable : variables) {
        if (variable.expandable == expandable) apply(variable);
    }
}

}  // namespace

Environment with_stored(Environment environment, const os::StoredEnvironment& stored) {
    const auto set = [&](const std::string& name, std::string value) {
        environment.erase(name);
        environment.emplace(name, std::move(value));
    };
    const auto value_of = [&](const os::StoredVariable& variable) {
        return variable.expandable ? expand_references(variable.value, environment)
                                   : variable.value;
    };
    std::optional<std::string> machine_path;
    const auto from_machine = [&](const os::StoredVariable& variable) {
        if (same_name(variable.name, "USERNAME")) return;
        std::string value = value_of(variable);
        if (same_name(variable.name, "Path")) machine_path = value;
        set(variable.name, std::move(value));
    };
    const auto from_user = [&](const os::StoredVariable& variable) {
        std::string value = value_of(variable);
        if (same_name(variable.name, "Path") && machine_path) value = *machine_path + ";" + value;
        set(variable.name, std::move(value));
    };
    // Of each, the plain values first: an expandable one may refer to any of them.
    for (const bool expandable : {false, true})
        each_of_kind(stored.machine, expandable, from_machine);
    for (const bool expandable : {false, true})
        each_of_kind(stored.user, expandable, from_user);
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
