# Cross build for 64-bit Windows with clang 19 and lld, on the same mingw-w64 target as
# mingw-w64-x86_64.cmake (its headers, import libraries and GCC's libstdc++), run under Wine.
#   cmake --preset windows-clang     or     cmake -DCMAKE_TOOLCHAIN_FILE=cmake/clang-mingw-w64-x86_64.cmake
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")

set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET ${mingw_triple})
set(CMAKE_CXX_COMPILER_TARGET ${mingw_triple})

# GCC's libstdc++ keeps its thread-local objects in emulated slots, which clang's code must use
# too; -pthread brings the threads library that libstdc++ is built on.
set(CMAKE_C_FLAGS_INIT "-femulated-tls -pthread")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -pthread")
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld-19 -pthread")
endforeach()
