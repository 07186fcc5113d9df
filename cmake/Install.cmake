# The installed layout of a Linux desktop application, and the Debian package made from it.
#   bin/                      norvik, norvik-cli
#   share/norvik/             the shipped NVK.xml, lang/, MultiReplace/, NVK.html (read-only; each user
#                             gets a copy of the settings and rule sets at the first start)
#   share/applications/       the desktop entry
#   share/icons/hicolor/      the icon, scalable and in PNG sizes
#   share/man/man1/           the manuals of norvik and norvik-cli, gzipped
#   share/doc/norvik/         copyright (machine-readable) and changelog.gz
include(GNUInstallDirs)

set(NORVIK_SHIPPED_DIR ${CMAKE_INSTALL_DATADIR}/norvik)
set(NORVIK_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package)

# Installing or packaging needs the programs and their documents only: no test or benchmark is built
# on the way (the default install would build everything first).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The documents Debian keeps compressed, gzipped without a time stamp so the package is reproducible.
# The package is native (its version has no Debian revision), so its changelog is changelog.gz.
configure_file(desktop/changelog.in ${NORVIK_PACKAGE_FILES}/changelog @ONLY)
configure_file(desktop/norvik.1.in ${NORVIK_PACKAGE_FILES}/norvik.1 @ONLY)
set(NORVIK_GZIPPED)
foreach(document ${CMAKE_CURRENT_BINARY_DIR}/generated/norvik-cli.1 ${NORVIK_PACKAGE_FILES}/norvik.1
                 ${NORVIK_PACKAGE_FILES}/changelog)
    get_filename_component(name ${document} NAME)
    add_custom_command(OUTPUT ${NORVIK_PACKAGE_FILES}/${name}.gz
        COMMAND sh -c "gzip -9 -n -c \"$1\" > \"$2\"" gzip ${document} ${NORVIK_PACKAGE_FILES}/${name}.gz
        DEPENDS ${document} VERBATIM)
    list(APPEND NORVIK_GZIPPED ${NORVIK_PACKAGE_FILES}/${name}.gz)
endforeach()
add_custom_target(norvik_documents ALL DEPENDS ${NORVIK_GZIPPED})

if(TARGET norvik)
    # The program finds its shipped resources from its own folder, so the prefix can be moved.
    file(RELATIVE_PATH NORVIK_SHIPPED_FROM_BIN /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${NORVIK_SHIPPED_DIR})
    target_compile_definitions(norvik PRIVATE NORVIK_SHIPPED_FROM_BIN="${NORVIK_SHIPPED_FROM_BIN}")
    install(TARGETS norvik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    add_dependencies(norvik norvik_documents)
    install(FILES desktop/norvik.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${NORVIK_PACKAGE_FILES}/norvik.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES desktop/icons/norvik.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 16 24 32 48 64 128 256)
        install(FILES desktop/icons/norvik-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME norvik.png)
    endforeach()
endif()
if(TARGET norvik-cli)
    install(TARGETS norvik-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    add_dependencies(norvik-cli norvik_documents)
    install(FILES ${NORVIK_PACKAGE_FILES}/norvik-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES desktop/copyright ${NORVIK_PACKAGE_FILES}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/norvik)
install(FILES resources/NVK.xml ${NORVIK_GENERATED_RESOURCES}/NVK.html DESTINATION ${NORVIK_SHIPPED_DIR})
install(DIRECTORY resources/lang resources/MultiReplace DESTINATION ${NORVIK_SHIPPED_DIR})

# cpack -G DEB in the build folder. The dependencies come from the libraries the programs link
# (dpkg-shlibdeps), so they follow whatever Qt, ICU, pugixml and zstd the build used.
set(CPACK_PACKAGE_NAME norvik)
set(CPACK_PACKAGE_VENDOR "Norvik developers")
set(CPACK_PACKAGE_CONTACT "Norvik developers <norvik@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch find and replace over text files in their own encodings")
# Lines of at most 80 characters, as Debian's description field wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Norvik replaces text in many files at once. Each file is read and written in"
    "its own encoding (GBK, UTF-16LE with a mark, UTF-8 with or without a mark),"
    "atomically, with .bak backups that one command puts back. Rule sets, span"
    "rules between a start and an end text, and a file search are included;"
    "norvik-cli runs the same jobs from scripts.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without the toolkit's translations a fresh system shows English file dialogs under a Chinese pack.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)

# `cmake --build build -t package-deb`: the programs, then the package, and nothing else.
add_custom_target(package-deb
    COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Building the Debian package"
    USES_TERMINAL)
foreach(program norvik norvik-cli norvik_documents)
    if(TARGET ${program})
        add_dependencies(package-deb ${program})
    endif()
endforeach()
