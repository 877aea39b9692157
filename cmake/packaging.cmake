# Installation and the Debian package. "cmake --install <build> --prefix <dir>" installs the
# engine, its documentation and manual page, and the files by which xboard finds it; "cpack -G
# DEB" in the build folder makes varnu_<version>_<arch>.deb of the same files below /usr.

# The version has one home, the engine's name in the code.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/engine/engine.h VARNU_NAME_LINE
     REGEX "EngineName = \"Varnu [0-9]+\\.[0-9]+\\.[0-9]+\"")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" VARNU_VERSION "${VARNU_NAME_LINE}")
if(NOT VARNU_VERSION)
  message(FATAL_ERROR "no version found in src/engine/engine.h")
endif()

include(GNUInstallDirs)
install(TARGETS varnu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Debian keeps every chess engine's manual in section 6, the games'.
configure_file(${PROJECT_SOURCE_DIR}/packaging/varnu.6 ${CMAKE_BINARY_DIR}/varnu.6 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/varnu.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
# xboard adds the engines whose plugin files it finds here to its list, as an xboard engine
# and, through polyglot, as a UCI engine (its -autoInstall, on in Debian's xboard.conf).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/xboard/varnu.eng
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/games/plugins/xboard)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/uci/varnu.eng
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/games/plugins/uci)
# GNOME Chess lists engines from one file only, the user's or the system's (which belongs to
# gnome-chess): the lines to add to it go with the documentation.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/gnome-chess/engines.conf
        DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME gnome-chess-engines.conf)

set(CPACK_PACKAGE_NAME varnu)
set(CPACK_PACKAGE_VERSION ${VARNU_VERSION})
set(CPACK_PACKAGE_VENDOR "The Varnu developers")
set(CPACK_PACKAGE_CONTACT "The Varnu developers <varnu@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chess engine for xboard/CECP and UCI front ends")
# The long description in lines of Debian's width; CPack indents them.
set(CPACK_PACKAGE_DESCRIPTION
    "Varnu is a chess engine for graphical front ends that speak the xboard/CECP\n\
protocol (xboard, Cute Chess, Arena) or UCI. It plays standard chess and\n\
Chess960, with an opening book in Polyglot format, Syzygy endgame tables,\n\
playing levels and a multi-threaded search. xboard finds it in its engine\n\
list once it is installed.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ runtime the engine was linked with, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xboard, polyglot")
include(CPack)
