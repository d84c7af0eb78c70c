// The run sequence: discovery, the two checks, the report and the verdict.
#pragma once

#include <boost/asio/awaitable.hpp>

namespace perf_assert {

// Runs the whole sequence and returns the exit status: 0 when both checks are within budget,
// 1 when either is over. Fatal stops end the process from inside.
boost::asio::awaitable<int> main_sequence();

}  // namespace perf_assert
