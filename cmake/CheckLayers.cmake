# The include rule between layers, checked before anything compiles:
#   cmake -DROOT=<source folder> -P cmake/CheckLayers.cmake
# - a core layer (filedeal < rules < settings < job) includes no higher core layer, no window folder
#   and no Qt header;
# - a window folder other than main/ and app/ includes nothing from main/ or app/;
# - the window folders of the layers (rules/ui, settings/ui, job/ui) include no other one of them:
#   what they share lives in ui/;
# - the shared window folders (ui/, platform/) include no other window folder;
# - the command line (cli/) includes no window folder.
# An include is judged by the file it names, whatever its spelling: quotes or angle brackets, a path
# relative to the including file ("../job/JobEngine.h", "JobEngine.h"), redundant "./" or "//", an
# absolute path inside the tree, and Qt headers by class, module path or file name ("QtCore/QString",
# <qstring.h>).
# Every offending include is reported as "file:line: reason", and the script fails.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED ROOT)
    message(FATAL_ERROR "CheckLayers.cmake: pass -DROOT=<source folder>")
endif()

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

# The path, relative to ROOT, of the file an include names, resolved as the compiler does: a quoted
# name beside the including file first, then from ROOT (the include path); "" for a file outside ROOT.
function(resolve_include file bracket target out_path)
    cmake_path(GET file PARENT_PATH dir)
    cmake_path(IS_ABSOLUTE target absolute)
    if(absolute)
        cmake_path(NORMAL_PATH target OUTPUT_VARIABLE full)
        cmake_path(IS_PREFIX ROOT "${full}" NORMALIZE inside)
        if(inside)
            cmake_path(RELATIVE_PATH full BASE_DIRECTORY ${ROOT} OUTPUT_VARIABLE resolved)
        else()
            set(resolved "")
        endif()
    elseif(bracket STREQUAL "\"" AND (EXISTS ${ROOT}/${dir}/${target} OR target MATCHES "^\\.\\./"))
        # "../x" can only mean the including file's parent folder, whether or not it exists.
        cmake_path(APPEND dir "${target}" OUTPUT_VARIABLE resolved)
    else()
        set(resolved "${target}")
    endif()
    if(NOT resolved STREQUAL "")
        cmake_path(NORMAL_PATH resolved)
        if(resolved MATCHES "^\\.\\./")
            set(resolved "")
        endif()
    endif()
    set(${out_path} "${resolved}" PARENT_SCOPE)
endfunction()

set(patterns)
foreach(folder ${core_layers} cli ${ui_folders})
    foreach(extension h hpp hh inl cpp cc cxx)
        list(APPEND patterns ${ROOT}/${folder}/*.${extension})
    endforeach()
endforeach()
file(GLOB_RECURSE files RELATIVE ${ROOT} LIST_DIRECTORIES false ${patterns})
list(REMOVE_DUPLICATES files)
list(SORT files)

set(violations)
foreach(file ${files})
    folder_of(${file} from from_is_ui)
    if(from STREQUAL "")
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
        if(NOT line MATCHES "^[ \t]*#[ \t]*include(_next)?[ \t]*([<\"])([^>\"]+)[>\"]")
            continue()
        endif()
        set(bracket ${CMAKE_MATCH_2})
        set(target ${CMAKE_MATCH_3})
        resolve_include(${file} ${bracket} "${target}" resolved)
        get_filename_component(target_name "${target}" NAME)
        set(reason "")
        set(to "")
        if(NOT resolved STREQUAL "")
            folder_of(${resolved} to to_is_ui)
        endif()
        if(target MATCHES "^/*Q[A-Za-z0-9_]*(/|$)" OR target_name MATCHES "^q[a-z0-9_]*\\.h$")
            if(from_rank GREATER_EQUAL 0)
                set(reason "the ${from} layer includes a Qt header")
            endif()
        elseif(to STREQUAL "")
            # Generated, system or local headers are no layer's.
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
        elseif(from MATCHES "^(ui|platform)$" AND to_is_ui AND NOT to MATCHES "^(ui|platform)$")
            set(reason "the shared window folder ${from}/ includes the window folder ${to}/")
        elseif(from MATCHES "/ui$" AND to MATCHES "/ui$" AND NOT to STREQUAL from)
            set(reason "the window folder ${from}/ includes the window folder ${to}/ (shared window code belongs in ui/)")
        elseif(from STREQUAL "cli" AND to_is_ui)
            set(reason "the command line includes the window folder ${to}/")
        endif()
        if(NOT reason STREQUAL "")
            list(APPEND violations "${file}:${number}: ${reason}: ${target}")
        endif()
    endforeach()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Include rule between layers broken:\n  ${text}\n"
                        "(order filedeal < rules < settings < job; windows never include main/ or app/, nor each other sideways; ui/ and platform/ sit below the windows)")
endif()
