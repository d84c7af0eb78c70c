# Boost and fmt for a cross build, header-only, from the host's Debian packages. The headers
# are reached through a directory of the build tree that holds forwarders to their two folders
# only (see forwarders.cmake): putting the host's /usr/include itself on the path would let
# glibc's headers into the build.
set(PERF_ASSERT_HOST_INCLUDE_DIR "/usr/include" CACHE PATH
    "Where the host's Boost and fmt headers are (boost/ and fmt/ below it)")
set(host_dir "${PERF_ASSERT_HOST_INCLUDE_DIR}")

foreach(library boost fmt)
    if(NOT EXISTS "${host_dir}/${library}")
        message(FATAL_ERROR "no ${library} headers in ${host_dir}")
    endif()
endforeach()
file(STRINGS "${host_dir}/boost/version.hpp" boost_version_line
    REGEX "^#define BOOST_VERSION [0-9]+$")
string(REGEX REPLACE "^#define BOOST_VERSION " "" boost_version "${boost_version_line}")
if(boost_version LESS 108100)
    message(FATAL_ERROR "Boost 1.81 or newer is needed; ${host_dir} has ${boost_version}")
endif()
file(STRINGS "${host_dir}/fmt/core.h" fmt_version_line REGEX "^#define FMT_VERSION [0-9]+")

# Boost has some 15,000 headers: their forwarders are written once for each folder and version,
# not at every configure.
set(host_headers "${CMAKE_BINARY_DIR}/host-headers")
set(host_stamp "${host_headers}/forwarders-of")
set(host_stamp_text "${host_dir} ${boost_version} ${fmt_version_line}\n")
set(host_stamp_current "")
if(EXISTS "${host_stamp}")
    file(READ "${host_stamp}" host_stamp_current)
endif()
if(NOT host_stamp_current STREQUAL host_stamp_text)
    foreach(library boost fmt)
        if(IS_SYMLINK "${host_headers}/${library}")
            file(REMOVE "${host_headers}/${library}")  # not what it links to
        endif()
        file(REMOVE_RECURSE "${host_headers}/${library}")
        file(GLOB_RECURSE headers RELATIVE "${host_dir}" LIST_DIRECTORIES false
            "${host_dir}/${library}/*")
        perf_assert_forwarders("${host_headers}" "${host_dir}" ${library} ${headers})
    endforeach()
    file(WRITE "${host_stamp}" "${host_stamp_text}")
endif()

# Imported, so that their headers count as the system's: no warnings from them.
add_library(Boost::headers INTERFACE IMPORTED)
set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${host_headers}")
add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${host_headers}"
    INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
