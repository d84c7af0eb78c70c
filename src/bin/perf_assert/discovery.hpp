// Finding the application's release executable under its project directory.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace murv::perf_assert {

extern const std::string_view APP_PROJECT_DIR;

// Plain text, nothing normalised.
std::array<std::string, 2> release_candidates(std::string_view project_dir);

// The first candidate that exists (os::path_exists); later ones are not asked about.
std::optional<std::string> first_existing(std::span<const std::string> candidates);

std::string not_found_message(std::span<const std::string> candidates);

// Prints and returns the first candidate under APP_PROJECT_DIR; a fatal stop when none exists.
std::string find_release_executable();

}  // namespace murv::perf_assert
