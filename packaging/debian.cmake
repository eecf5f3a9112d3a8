# The Debian package, made by CPack's DEB generator (tools/package_deb): its
# version is the project's, its dependencies come from dpkg-shlibdeps over
# the executables, and it holds what `cmake --install` installs.
set(TARVELO_MAINTAINER "Tarvelo developers <tarvelo@example.org>" CACHE STRING "The package's maintainer")

# Debian's files of every package: the copyright and, compressed, the changelog.
string(TIMESTAMP tarvelo_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9 -n -k -f ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
  COMMENT "Package changelog")
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${TARVELO_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TARVELO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "validator of the ORVAL rural and animal insurance DBF files")
# The summary above is the description's first line; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarvelo checks the risks file and the claims file (dBase III) of the rural\n\
and animal lines of business before an insurance company sends them to the\n\
regulator ORVAL, and prints a plain-text report: the files' layout, empty\n\
and invalid values per field, the company, the premium and claim totals\n\
against those declared in the QDP form, and the claims without a policy.\n\
.\n\
The package holds the window (tarvelo), the command line (tarvelo-cli),\n\
the rule catalogue and sample data files.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TARVELO_HOMEPAGE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The toolkit's own dialogs and buttons in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_SOURCE_DIR}/dist)
include(CPack)
