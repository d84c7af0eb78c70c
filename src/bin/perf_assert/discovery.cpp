#include "bin/perf_assert/discovery.hpp"

#include <fmt/format.h>

#include "bin/perf_assert/report.hpp"
#include "support/fatal.hpp"
#include "support/platform.hpp"
#include "support/quote.hpp"

namespace perf_assert {

std::array<std::string, 2> release_candidates(std::string_view project_dir) {
    const char* suffix = murv::executable_suffix();
    return {fmt::format("{}/target/release/murv{}", project_dir, suffix),
            fmt::format("{}/../target/release/murv{}", project_dir, suffix)};
}

std::optional<std::string> first_existing(std::span<const std::string> candidates,
                                          const std::function<bool(const std::string&)>& exists) {
    for (const std::string& candidate : candidates) {
        if (exists(candidate)) return candidate;
    }
    return std::nullopt;
}

std::string not_found_message(std::span<const std::string> candidates) {
    return fmt::format(
        "找不到 murv release 二进制；尝试过：{}。先跑 `cargo build --release --bin murv`。",
        murv::debug_list(candidates));
}

std::string find_release_executable() {
    const auto candidates = release_candidates(APP_PROJECT_DIR);
    auto found = first_existing(candidates, murv::path_exists);
    if (!found) murv::fatal(not_found_message(candidates));
    print(path_line(*found));
    return std::move(*found);
}

}  // namespace perf_assert
