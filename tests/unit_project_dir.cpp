// The unit tests link the driver's checks without a tool's project directory.
#include "discovery.hpp"

namespace murv::perf_assert {

const std::string_view APP_PROJECT_DIR = "/nonexistent/unit-test-project";

}  // namespace murv::perf_assert
