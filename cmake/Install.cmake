# The installed layout of a Linux desktop application, and the Debian package made from it.
#   bin/                      norvik, norvik-cli
#   share/norvik/             the shipped NVK.xml, lang/, MultiReplace/, NVK.html (read-only; each user
#                             gets a copy of the settings and rule sets at the first start)
#   share/applications/       the desktop entry
#   share/icons/hicolor/      the icon, scalable and in PNG sizes
#   share/man/man1/           the manual of norvik-cli
include(GNUInstallDirs)

set(NORVIK_SHIPPED_DIR ${CMAKE_INSTALL_DATADIR}/norvik)

if(TARGET norvik)
    # The program finds its shipped resources from its own folder, so the prefix can be moved.
    file(RELATIVE_PATH NORVIK_SHIPPED_FROM_BIN /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${NORVIK_SHIPPED_DIR})
    target_compile_definitions(norvik PRIVATE NORVIK_SHIPPED_FROM_BIN="${NORVIK_SHIPPED_FROM_BIN}")
    install(TARGETS norvik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES desktop/norvik.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES desktop/icons/norvik.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 16 24 32 48 64 128 256)
        install(FILES desktop/icons/norvik-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME norvik.png)
    endforeach()
endif()
if(TARGET norvik-cli)
    install(TARGETS norvik-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/generated/norvik-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES resources/NVK.xml ${NORVIK_GENERATED_RESOURCES}/NVK.html DESTINATION ${NORVIK_SHIPPED_DIR})
install(DIRECTORY resources/lang resources/MultiReplace DESTINATION ${NORVIK_SHIPPED_DIR})

# cpack -G DEB in the build folder. The dependencies come from the libraries the programs link
# (dpkg-shlibdeps), so they follow whatever Qt, ICU and pugixml the build used.
set(CPACK_PACKAGE_NAME norvik)
set(CPACK_PACKAGE_VENDOR "Norvik developers")
set(CPACK_PACKAGE_CONTACT "Norvik developers <norvik@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch find and replace over text files in their own encodings")
set(CPACK_PACKAGE_DESCRIPTION
    "Norvik replaces text in many files at once. Each file is read and written in its own encoding \
(GBK, UTF-16LE with a mark, UTF-8 with or without a mark), atomically, with .bak backups that one \
command puts back. Rule sets, span rules between a start and an end text, and a file search are \
included; norvik-cli runs the same jobs from scripts.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS hicolor-icon-theme)
set(CPACK_STRIP_FILES ON)
include(CPack)
