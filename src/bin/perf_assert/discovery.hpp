// Finding the application's release executable under its project directory.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace murv::perf_assert {

// The application's project directory, fixed when the tool is built.
extern const std::string_view APP_PROJECT_DIR;

// The directory followed by "/target/release/murv", then by "/../target/release/murv", each
// with the platform's executable suffix ("murv.exe" on Windows): plain text, nothing
// normalised.
std::array<std::string, 2> release_candidates(std::string_view project_dir);

// The first candidate that exists (os::path_exists); later ones are not asked about.
std::optional<std::string> first_existing(std::span<const std::string> candidates);

// The fatal message when no candidate exists.
std::string not_found_message(std::span<const std::string> candidates);

// Returns the first candidate that exists under APP_PROJECT_DIR and prints the path line;
// a fatal stop when none does.
std::string find_release_executable();

}  // namespace murv::perf_assert
