# Boost and fmt for a cross build, header-only, from the host's Debian packages. The headers
# are reached through a directory of the build tree that links to their two folders only:
# putting the host's /usr/include itself on the path would let glibc's headers into the build.
set(PERF_ASSERT_HOST_INCLUDE_DIR "/usr/include" CACHE PATH
    "Where the host's Boost and fmt headers are (boost/ and fmt/ below it)")

set(host_headers "${CMAKE_BINARY_DIR}/host-headers")
file(MAKE_DIRECTORY "${host_headers}")
foreach(library boost fmt)
    if(NOT EXISTS "${PERF_ASSERT_HOST_INCLUDE_DIR}/${library}")
        message(FATAL_ERROR "no ${library} headers in ${PERF_ASSERT_HOST_INCLUDE_DIR}")
    endif()
    file(CREATE_LINK "${PERF_ASSERT_HOST_INCLUDE_DIR}/${library}" "${host_headers}/${library}"
        SYMBOLIC)
endforeach()

file(STRINGS "${host_headers}/boost/version.hpp" boost_version_line
    REGEX "^#define BOOST_VERSION [0-9]+$")
string(REGEX REPLACE "^#define BOOST_VERSION " "" boost_version "${boost_version_line}")
if(boost_version LESS 108100)
    message(FATAL_ERROR "Boost 1.81 or newer is needed; ${PERF_ASSERT_HOST_INCLUDE_DIR} has "
        "${boost_version}")
endif()

# Imported, so that their headers count as the system's: no warnings from them.
add_library(Boost::headers INTERFACE IMPORTED)
set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${host_headers}")
add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${host_headers}"
    INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
