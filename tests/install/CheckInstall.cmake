# Run by ctest (see CMakeLists.txt): cmake --install into a fresh prefix, then checks.
cmake_minimum_required(VERSION 3.25)

function(fail message)
    message(FATAL_ERROR "install_layout: ${message}")
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    fail("cmake --install failed:\n${out}")
endif()

# Exactly the expected files: the programs, the shipped resources as in the source tree, and the
# desktop integration, the documents Debian expects (man page and changelog gzipped). No test
# programs, libraries or headers.
set(expected bin/norvik-cli share/man/man1/norvik-cli.1.gz share/doc/norvik/copyright
    share/doc/norvik/changelog.gz)
# A template "<name>.in" ships as the file the build made from it.
file(GLOB_RECURSE templates RELATIVE ${SOURCE_DIR}/resources ${SOURCE_DIR}/resources/*)
set(shipped)
foreach(file ${templates})
    string(REGEX REPLACE "\\.in$" "" file "${file}")
    list(APPEND shipped ${file})
    list(APPEND expected share/norvik/${file})
endforeach()
if(WITH_UI)
    list(APPEND expected bin/norvik share/man/man1/norvik.1.gz share/applications/norvik.desktop share/icons/hicolor/scalable/apps/norvik.svg)
    foreach(size 16 24 32 48 64 128 256)
        list(APPEND expected share/icons/hicolor/${size}x${size}/apps/norvik.png)
    endforeach()
endif()
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
list(SORT expected)
list(SORT installed)
if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n  " got "${installed}")
    string(REPLACE ";" "\n  " want "${expected}")
    fail("installed files differ.\ngot:\n  ${got}\nexpected:\n  ${want}")
endif()
foreach(file ${shipped})
    set(source ${SOURCE_DIR}/resources/${file})
    if(NOT EXISTS ${source})
        set(source ${BUILD_DIR}/generated/resources/${file})
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${source}
                            ${prefix}/share/norvik/${file} RESULT_VARIABLE differs)
    if(differs)
        fail("share/norvik/${file} is not the shipped file")
    endif()
endforeach()

execute_process(COMMAND ${prefix}/bin/norvik-cli --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^norvik-cli ")
    fail("the installed norvik-cli does not run: ${rc} ${out}")
endif()

if(NOT WITH_UI)
    return()
endif()

# Help and version need no display: with none, and the X11 platform forced, the toolkit could not
# start, so the window program must answer before it.
set(help_home ${WORK_DIR}/help-home)
execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${help_home} QT_QPA_PLATFORM=xcb
                        --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=XDG_CONFIG_HOME --unset=XDG_DATA_HOME
                        ${prefix}/bin/norvik --help
                TIMEOUT 10 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(FIND "${out}" "Usage: norvik [OPTION...] [PATH...]" usage_at)
string(FIND "${out}" "This copy  ${help_home}/.config/norvik/NVK.xml" settings_at)
if(NOT rc EQUAL 0 OR usage_at EQUAL -1 OR settings_at EQUAL -1 OR EXISTS ${help_home})
    fail("norvik --help without a display: ${rc}\n${out}${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=xcb --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        ${prefix}/bin/norvik --version
                TIMEOUT 10 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^norvik [0-9]+\\.[0-9]+")
    fail("norvik --version without a display: ${rc}\n${out}${err}")
endif()
if(VALIDATOR)
    execute_process(COMMAND ${VALIDATOR} ${prefix}/share/applications/norvik.desktop
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
        fail("desktop-file-validate: ${out}")
    endif()
else()
    message(STATUS "desktop-file-validate not found: the desktop entry is not validated")
endif()

# The installed window program with an empty home: it is not portable (no NVK.xml beside it), so it
# makes the user's settings and rule folder from the shipped ones and shows its window. It keeps
# running until the timeout ends it.
set(home ${WORK_DIR}/home)
file(MAKE_DIRECTORY ${home})
execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${home} QT_QPA_PLATFORM=offscreen
                        --unset=XDG_CONFIG_HOME --unset=XDG_DATA_HOME
                        ${prefix}/bin/norvik
                TIMEOUT 5 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc MATCHES "^[0-9]+$")
    fail("the installed norvik ended by itself (${rc}) instead of showing its window:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SOURCE_DIR}/resources/NVK.xml
                        ${home}/.config/norvik/NVK.xml RESULT_VARIABLE differs)
if(differs)
    fail("the first start did not copy the shipped NVK.xml to ~/.config/norvik/:\n${out}")
endif()
file(GLOB rule_sets RELATIVE ${SOURCE_DIR}/resources/MultiReplace ${SOURCE_DIR}/resources/MultiReplace/*)
file(GLOB seeded RELATIVE ${home}/.local/share/norvik/MultiReplace ${home}/.local/share/norvik/MultiReplace/*)
if(NOT rule_sets OR NOT seeded STREQUAL rule_sets)
    fail("the first start did not seed ~/.local/share/norvik/MultiReplace/ (${seeded})")
endif()
