// The cold-start check: how long the application takes to answer --version and exit.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "os/clock.hpp"

namespace murv::perf_assert {

inline constexpr std::uint64_t COLD_START_RUNS = 10;
inline constexpr std::uint64_t COLD_START_BUDGET_MS = 200;

// Whole milliseconds, the remainder dropped; a negative span is 0.
std::uint64_t whole_milliseconds(os::MonotonicClock::duration elapsed);

using Samples = std::array<std::uint64_t, COLD_START_RUNS>;

// The sixth smallest of the ten samples.
std::uint64_t median_of(Samples samples);

// The median in milliseconds of COLD_START_RUNS timed launches, after one untimed.
std::uint64_t measure_cold_start(const std::string& path);

}  // namespace murv::perf_assert
