// The unit tests link the driver's checks without a tool's project directory.
#include "bin/perf_assert/discovery.hpp"

namespace perf_assert {

const std::string_view APP_PROJECT_DIR = "/nonexistent/unit-test-project";

}  // namespace perf_assert
