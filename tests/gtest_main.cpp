// The tests' entry: fatal stops in tests write as the tool's do, and the platform's own set-up
// comes first (see prepare_test_process).
#include <gtest/gtest.h>

#include "os/standard_streams.hpp"
#include "test_support.hpp"

int main(int argc, char** argv) {
    test::prepare_test_process();
    murv::os::install_fatal_platform();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
