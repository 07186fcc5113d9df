# Copies the resources beside the executables. The settings file is copied only when none is there:
# it holds the user's working state, which a rebuild must not reset.
file(GLOB_RECURSE entries RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(entry ${entries})
    if(entry STREQUAL "NVK.xml" AND EXISTS "${DEST}/NVK.xml")
        continue()
    endif()
    get_filename_component(folder "${DEST}/${entry}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${SOURCE}/${entry}" "${DEST}/${entry}" ONLY_IF_DIFFERENT)
endforeach()
