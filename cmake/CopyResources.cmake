# Copies the resources beside the executables: those of SOURCE, where a template "<name>.in" stands
# for the file of that name made from it in GENERATED. The settings file is copied only when none is
# there: it holds the user's working state, which a rebuild must not reset.
file(GLOB_RECURSE entries RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(entry ${entries})
    if(entry STREQUAL "NVK.xml" AND EXISTS "${DEST}/NVK.xml")
        continue()
    endif()
    set(from "${SOURCE}/${entry}")
    if(entry MATCHES "^(.*)\\.in$")
        set(entry ${CMAKE_MATCH_1})
        set(from "${GENERATED}/${entry}")
    endif()
    get_filename_component(folder "${DEST}/${entry}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${from}" "${DEST}/${entry}" ONLY_IF_DIFFERENT)
endforeach()
