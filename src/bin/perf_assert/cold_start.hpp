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

// The timed launches' milliseconds, in launch order.
using Samples = std::array<std::uint64_t, COLD_START_RUNS>;

// The sixth smallest of the ten samples: the upper middle one, no averaging.
std::uint64_t median_of(Samples samples);

// Launches `path` with "--version" once untimed, then COLD_START_RUNS times timed, and
// returns the median in milliseconds. A timed launch that cannot be started, or that does
// not exit successfully, is a fatal stop; so is a reading of the clock that fails.
std::uint64_t measure_cold_start(const std::string& path);

}  // namespace murv::perf_assert
