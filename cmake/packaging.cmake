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

set(VARNU_MAINTAINER "The Varnu developers <varnu@users.noreply.invalid>")

include(GNUInstallDirs)
# A game's program goes in games/ (/usr/games, /usr/local/games), as Debian's policy has it for
# the section games; both are on its users' PATH.
install(TARGETS varnu RUNTIME DESTINATION games)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian's policy: manual pages and the changelog gzipped at the highest level, without the
# file's name and time (-n), so that the same sources give the same package.
find_program(VARNU_GZIP gzip REQUIRED)
function(varnu_gzip source output)
  add_custom_command(OUTPUT ${output}
                     COMMAND ${VARNU_GZIP} -9n -c ${source} > ${output}
                     DEPENDS ${source} VERBATIM)
endfunction()

# Debian keeps every chess engine's manual in section 6, the games'.
configure_file(${PROJECT_SOURCE_DIR}/packaging/varnu.6 ${CMAKE_BINARY_DIR}/varnu.6 @ONLY)
varnu_gzip(${CMAKE_BINARY_DIR}/varnu.6 ${CMAKE_BINARY_DIR}/varnu.6.gz)
install(FILES ${CMAKE_BINARY_DIR}/varnu.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)

# The package's changelog, one entry for the version built, dated by SOURCE_DATE_EPOCH when it
# is set (CMake's TIMESTAMP reads it) and else by the time of configuring. The package is a
# native one (its version has no Debian revision): it is made by the engine's own build, not
# by a packager's from a release, so the changelog is changelog.gz, not changelog.Debian.gz,
# and no first upload to Debian's archive (whose changelog would close its bug) is pretended.
string(TIMESTAMP VARNU_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
               ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
varnu_gzip(${CMAKE_BINARY_DIR}/debian/changelog ${CMAKE_BINARY_DIR}/debian/changelog.gz)
# The machine-readable copyright file, its holder and licence text taken from LICENSE, which
# is the MIT licence Debian calls Expat: each line indented by one space, an empty line as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE VARNU_LICENSE)
if(NOT VARNU_LICENSE MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE has no copyright line followed by the licence's text")
endif()
set(VARNU_COPYRIGHT ${CMAKE_MATCH_1})
string(REPLACE "\n\n" "\n.\n" VARNU_LICENSE_TEXT " ${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " VARNU_LICENSE_TEXT "${VARNU_LICENSE_TEXT}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in
               ${CMAKE_BINARY_DIR}/debian/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/debian/copyright
              ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_target(varnu_packaging_files ALL
                  DEPENDS ${CMAKE_BINARY_DIR}/varnu.6.gz
                          ${CMAKE_BINARY_DIR}/debian/changelog.gz)
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
set(CPACK_PACKAGE_CONTACT ${VARNU_MAINTAINER})
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
