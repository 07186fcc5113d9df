# The include rule between layers, checked before anything compiles:
#   cmake -DROOT=<source folder> -P cmake/CheckLayers.cmake
# - a core layer (filedeal < rules < settings < job) includes no higher core layer, no window folder
#   and no Qt header;
# - a window folder other than main/ and app/ includes nothing from main/ or app/;
# - the command line (cli/) includes no window folder.
# Every offending include is reported as "file:line: reason", and the script fails.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED ROOT)
    message(FATAL_ERROR "CheckLayers.cmake: pass -DROOT=<source folder>")
endif()

# Files that still break the rule while the window code moves what several windows share out of
# main/. TEMPORARY: each entry is an exact path relative to ROOT; the list is to be emptied, not grown.
set(NORVIK_LAYER_PENDING
    job/ui/JobController.cpp
    job/ui/ListActions.cpp
    settings/ui/LanguageMenu.cpp
    settings/ui/SettingsBinding.cpp
    settings/ui/TConfigure.cpp)

set(core_layers filedeal rules settings job)
# Longer prefixes first: "rules/ui/" is a window folder, not the rules layer.
set(ui_folders rules/ui settings/ui job/ui platform ui main app)

# The folder a relative path belongs to ("" when it is none of ours), and whether it is a window folder.
function(folder_of path out_folder out_is_ui)
    foreach(folder ${ui_folders})
        if(path MATCHES "^${folder}/")
            set(${out_folder} ${folder} PARENT_SCOPE)
            set(${out_is_ui} TRUE PARENT_SCOPE)
            return()
        endif()
    endforeach()
    foreach(folder ${core_layers} cli)
        if(path MATCHES "^${folder}/")
            set(${out_folder} ${folder} PARENT_SCOPE)
            set(${out_is_ui} FALSE PARENT_SCOPE)
            return()
        endif()
    endforeach()
    set(${out_folder} "" PARENT_SCOPE)
    set(${out_is_ui} FALSE PARENT_SCOPE)
endfunction()

set(patterns)
foreach(folder ${core_layers} cli ${ui_folders})
    list(APPEND patterns ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
endforeach()
file(GLOB_RECURSE files RELATIVE ${ROOT} LIST_DIRECTORIES false ${patterns})
list(REMOVE_DUPLICATES files)
list(SORT files)

set(violations)
foreach(file ${files})
    folder_of(${file} from from_is_ui)
    if(from STREQUAL "" OR file IN_LIST NORVIK_LAYER_PENDING)
        continue()
    endif()
    list(FIND core_layers ${from} from_rank)
    # Read as text and split by hand: file(STRINGS) drops blank lines, which would shift the numbers.
    file(READ ${ROOT}/${file} content)
    string(REPLACE ";" "," content "${content}")
    string(REPLACE "[" "(" content "${content}")
    string(REPLACE "]" ")" content "${content}")
    string(REPLACE "\\" "/" content "${content}")
    string(REPLACE "\n" ";" lines "${content}")
    set(number 0)
    foreach(line IN LISTS lines)
        math(EXPR number "${number} + 1")
        if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
            continue()
        endif()
        set(bracket ${CMAKE_MATCH_1})
        set(target ${CMAKE_MATCH_2})
        set(reason "")
        if(bracket STREQUAL "<")
            if(from_rank GREATER_EQUAL 0 AND target MATCHES "^Q[A-Za-z0-9_]*(/|$)")
                set(reason "the ${from} layer includes a Qt header")
            endif()
        else()
            folder_of(${target} to to_is_ui)
            if(to STREQUAL "")
                # Generated or local headers are no layer's.
            elseif(from_rank GREATER_EQUAL 0)
                list(FIND core_layers ${to} to_rank)
                if(to_is_ui)
                    set(reason "the ${from} layer includes the window folder ${to}/")
                elseif(to STREQUAL "cli")
                    set(reason "the ${from} layer includes the command line")
                elseif(to_rank GREATER from_rank)
                    set(reason "the ${from} layer includes the higher layer ${to}/")
                endif()
            elseif(from_is_ui AND NOT from MATCHES "^(main|app)$" AND to MATCHES "^(main|app)$")
                set(reason "the window folder ${from}/ includes ${to}/ (shared window code belongs lower)")
            elseif(from STREQUAL "cli" AND to_is_ui)
                set(reason "the command line includes the window folder ${to}/")
            endif()
        endif()
        if(NOT reason STREQUAL "")
            list(APPEND violations "${file}:${number}: ${reason}: ${target}")
        endif()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Include rule between layers broken:\n  ${text}\n"
                        "(order filedeal < rules < settings < job; windows never include main/ or app/)")
endif()
