# perf_assert_forwarders(ROOT SOURCE_DIR FOLDER HEADER...): ROOT/FOLDER as an include root's
# folder of plain files, for file systems (and users) that cannot make symbolic links. Each
# HEADER (a path below SOURCE_DIR that starts with FOLDER/) gets a header of the same name in
# ROOT that includes the real one by its absolute path, so that the real one is compiled from
# its own folder and its relative includes still work. A forwarder is written only when its
# text changes, so that a new configure rebuilds nothing; one whose header has gone is removed.
function(perf_assert_forwarders root source_dir folder)
    # An older build tree linked the folder: writing through that link would write into it.
    if(IS_SYMLINK "${root}/${folder}")
        file(REMOVE "${root}/${folder}")
    endif()
    file(GLOB_RECURSE old RELATIVE "${root}" LIST_DIRECTORIES false "${root}/${folder}/*")
    foreach(header IN LISTS ARGN)
        set(text "#include \"${source_dir}/${header}\"\n")
        set(forwarder "${root}/${header}")
        if(EXISTS "${forwarder}")
            file(READ "${forwarder}" current)
        else()
            set(current "")
        endif()
        if(NOT current STREQUAL text)
            file(WRITE "${forwarder}" "${text}")
        endif()
    endforeach()
    list(REMOVE_ITEM old ${ARGN})
    foreach(gone IN LISTS old)
        file(REMOVE "${root}/${gone}")
    endforeach()
    perf_assert_refuse_links("${root}")
endfunction()

# perf_assert_refuse_links(DIR): stops the configure when DIR holds a symbolic link, which a
# build folder on Windows without Developer Mode could not hold.
function(perf_assert_refuse_links dir)
    file(GLOB_RECURSE entries LIST_DIRECTORIES true "${dir}/*")
    foreach(entry IN LISTS entries)
        if(IS_SYMLINK "${entry}")
            message(FATAL_ERROR "${entry} is a symbolic link: the build's folders hold plain "
                "files only, so that it builds where links are refused")
        endif()
    endforeach()
endfunction()
