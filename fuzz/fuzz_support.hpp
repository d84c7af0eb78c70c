// What every fuzz target needs: the tool's fatal stop, ended by abort, so that libFuzzer takes
// the stop for a crash and keeps the input that made it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/fatal.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    murv::set_fatal_platform({
        .write_diagnostic =
            [](std::string_view bytes) noexcept {
                std::fwrite(bytes.data(), 1, bytes.size(), stderr);
            },
        .current_thread = nullptr,
        .end = [](int) noexcept { std::abort(); },
    });
    return 0;
}
