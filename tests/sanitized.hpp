// Whether the build runs under a sanitizer, which replaces what some tests look at (the
// allocator, the address space, the descriptors a program starts with).
#pragma once

namespace test {

#if defined(PERF_ASSERT_SANITIZED)
inline constexpr bool SANITIZED = true;
#else
inline constexpr bool SANITIZED = false;
#endif

}  // namespace test
