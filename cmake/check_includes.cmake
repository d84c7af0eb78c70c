# Run by the build (cmake -DSOURCE_DIR=... -DSTAMP=... -P check_includes.cmake): refuses an
# #include in src/ whose path climbs with "..". Each layer's include root holds its own folder
# alone, so that a header of a layer above does not compile; but a path that climbs ("../x" from
# beside the file, or "pty/../session/x" through the root) would reach any folder of src/.
file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.hpp" "${SOURCE_DIR}/src/*.cpp")
set(refused "")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\.")
    foreach(line IN LISTS lines)
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        string(STRIP "${line}" line)
        string(APPEND refused "\n  ${name}: ${line}")
    endforeach()
endforeach()
if(refused)
    message(FATAL_ERROR "An include may not climb out of its layer's folder (\"..\"):${refused}")
endif()
file(TOUCH "${STAMP}")
