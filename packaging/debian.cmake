# The Debian packages, made by CPack's DEB generator (tools/package_deb) from
# the install rules' components, one package each:
# - tarvelo-cli (component cli): the command line, the catalogue, the
#   examples, its manual page; no GUI toolkit, so a server that runs the
#   checks in batch gets no desktop;
# - tarvelo (component window): the window, its help page, manual page,
#   desktop entry, icons and metadata; it depends on tarvelo-cli of the
#   same version.
# Their version is the project's, their dependencies on libraries come from
# dpkg-shlibdeps over the executables.
set(TARVELO_MAINTAINER "Tarvelo <tarvelo@tarvelo.org>" CACHE STRING "The packages' maintainer")

# Debian's files of every package, in its own documentation folder: the
# copyright and, compressed, the changelog. The third parties' notices go
# with the command line, on which the window's package depends.
string(TIMESTAMP tarvelo_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9 -n -k -f ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
  COMMENT "Package changelog")
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
              ${PROJECT_SOURCE_DIR}/docs/LICENCAS.txt
        DESTINATION ${TARVELO_CLI_DOC_DIR} COMPONENT cli)
set(tarvelo_components cli)
if(TARVELO_WINDOW AND NOT WIN32)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
          DESTINATION ${TARVELO_WINDOW_DOC_DIR} COMPONENT window)
  list(APPEND tarvelo_components window)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TARVELO_MAINTAINER}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${tarvelo_components})
set(CPACK_DEBIAN_PACKAGE_SOURCE tarvelo)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(TARVELO_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TARVELO_HOMEPAGE}")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_SOURCE_DIR}/dist)

# Each description's first line is the summary, the rest its long text.
set(tarvelo_description_text
    "Tarvelo checks the risks file and the claims file (dBase III) of the rural\n\
and animal lines of business before an insurance company sends them to the\n\
regulator ORVAL, and prints a plain-text report: the files' layout, empty\n\
and invalid values per field, the company, the premium and claim totals\n\
against those declared in the QDP form, and the claims without a policy.\n\
.\n")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME tarvelo-cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "validator of the ORVAL rural and animal insurance DBF files (command line)\n\
${tarvelo_description_text}\
This package holds the command line (tarvelo-cli), the rule catalogue and\n\
sample data files; it needs no graphical desktop. The window is in the\n\
package tarvelo.")
# Up to 0.1 one package, tarvelo, held the command line, its manual page and
# the catalogue too. tarvelo-cli takes those files over from it (Replaces)
# and has it removed (Conflicts) unless the tarvelo of 0.2 or later, the
# window alone, comes in its place. Conflicts rather than Breaks: given
# both packages, the command line's first, dpkg -i then removes the single
# package and installs the window after tarvelo-cli; with Breaks it refuses
# tarvelo-cli and goes on to unpack the window, which leaves no command
# line. apt-get does the same with either. The bound is the version that
# split them, not this one: no later tarvelo-cli takes a file over from, or
# conflicts with, a window package of 0.2 or later.
set(CPACK_DEBIAN_CLI_PACKAGE_CONFLICTS "tarvelo (<< 0.2)")
set(CPACK_DEBIAN_CLI_PACKAGE_REPLACES "tarvelo (<< 0.2)")
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME tarvelo)
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "validator of the ORVAL rural and animal insurance DBF files (window)\n\
${tarvelo_description_text}\
This package holds the window (tarvelo) and its desktop menu entry; the\n\
command line, the catalogue and the examples are in tarvelo-cli.")
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "tarvelo-cli (= ${PROJECT_VERSION})")
# The toolkit's own dialogs and buttons in the user's language.
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS qt6-translations-l10n)
include(CPack)
