#include "discovery.hpp"

#include <fmt/format.h>

#include "base/fatal.hpp"
#include "base/quote.hpp"
#include "os/platform.hpp"
#include "report.hpp"

namespace murv::perf_assert {

std::array<std::string, 2> release_candidates(std::string_view project_dir) {
    const char* suffix = os::executable_suffix();
    return {fmt::format("{}/target/release/murv{}", project_dir, suffix),
            fmt::format("{}/../target/release/murv{}", project_dir, suffix)};
}

std::optional<std::string> first_existing(std::span<const std::string> candidates) {
    for (const std::string& candidate : candidates) {
        if (os::path_exists(candidate)) return candidate;
    }
    return std::nullopt;
}

std::string not_found_message(std::span<const std::string> candidates) {
    return fmt::format(
        "找不到 murv release 二进制；尝试过：{}。先跑 `cargo build --release --bin murv`。",
        debug_list(candidates));
}

std::string find_release_executable() {
    const auto candidates = release_candidates(APP_PROJECT_DIR);
    auto found = first_existing(candidates);
    if (!found) fatal(not_found_message(candidates));
    print(path_line(*found));
    return std::move(*found);
}

}  // namespace murv::perf_assert
