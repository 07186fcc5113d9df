# Runs the include-rule check on a small tree with known faults: it must fail and name each one
# (file and line), and must not flag the includes that are allowed.
#   cmake -DCHECK=<CheckLayers.cmake> -DTREE=<tree> -P RunCheck.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${TREE} -P ${CHECK} RESULT_VARIABLE result ERROR_VARIABLE output)
if(result EQUAL 0)
    message(FATAL_ERROR "the check passed a tree that breaks the rule")
endif()
set(expected
    "filedeal/Low.h:4: the filedeal layer includes the higher layer rules/"
    "filedeal/Low.h:5: the filedeal layer includes a Qt header"
    "settings/ui/Dialog.cpp:2: the window folder settings/ui/ includes main/"
    "cli/Tool.cpp:2: the command line includes the window folder main/"
    "ui/Shared.h:3: the shared window folder ui/ includes the window folder job/ui/"
    # The same files, spelt every way the compiler accepts.
    "filedeal/Spellings.cpp:2: the filedeal layer includes the higher layer job/"
    "filedeal/Spellings.cpp:3: the filedeal layer includes the higher layer job/"
    "filedeal/Spellings.cpp:4: the filedeal layer includes a Qt header"
    "filedeal/Spellings.cpp:5: the filedeal layer includes a Qt header"
    "filedeal/Spellings.cpp:6: the filedeal layer includes the higher layer settings/"
    "filedeal/Spellings.cpp:7: the filedeal layer includes the higher layer rules/"
    # Window folders of the layers never include each other sideways.
    "settings/ui/Dialog.cpp:3: the window folder settings/ui/ includes the window folder rules/ui/"
    "job/ui/Pane.cpp:3: the window folder job/ui/ includes the window folder rules/ui/"
    "job/ui/Pane.cpp:4: the window folder job/ui/ includes the window folder settings/ui/")
foreach(line ${expected})
    string(FIND "${output}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "missing \"${line}\" in:\n${output}")
    endif()
endforeach()
foreach(allowed "rules/Fine.h" "main/Window.cpp" "filedeal/Low.h:3" "Dialog.cpp:1" "Tool.cpp:1" "Shared.h:2" "Shared.h:4"
        "Spellings.cpp:1:" "Spellings.cpp:8:" "Spellings.cpp:9:" "Pane.cpp:1:" "Pane.cpp:2:")
    string(FIND "${output}" "${allowed}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "\"${allowed}\" flagged although allowed:\n${output}")
    endif()
endforeach()
