# Release files and the Debian package: the manual pages, the AppStream
# metainfo of the viewer, the CPack settings (`cpack -G DEB` in the build
# folder) and the tests that check them. Included from the top CMakeLists.txt
# when the programs are built.
#
# The version is the project version (project() in CMakeLists.txt); it reaches
# both programs (UNITPEEK_VERSION), the about box, the manual pages, the
# metainfo and the package.

include(GNUInstallDirs)

# The date of the release PROJECT_VERSION: change it together with the version.
set(UNITPEEK_RELEASE_DATE "2026-12-09")
# The project's web address: the metainfo's home page, and the screenshot
# (docs/screenshot.png, published under the same path there).
set(UNITPEEK_HOMEPAGE "https://unitpeek.org")
# AppStream component id (reverse domain name of the address above); the
# metainfo launches the desktop entry unitpeek.desktop.
set(UNITPEEK_APPSTREAM_ID "org.unitpeek.unitpeek")
# Who answers for the package: its Maintainer field, the changelog's
# signature line and the contact of the copyright file.
set(UNITPEEK_MAINTAINER "UnitPeek developers <unitpeek@users.noreply.example.org>")

set(PKG_SRC ${CMAKE_SOURCE_DIR}/packaging)
set(PKG_OUT ${CMAKE_BINARY_DIR}/packaging)

# Manual pages: man(7) sources with the version and date filled in, installed
# compressed as Debian does.
set(UNITPEEK_MANPAGES unitpeek-dump.1 unitpeek.1)
set(MANPAGE_FILES "")
set(MANPAGE_GZ "")
foreach(page ${UNITPEEK_MANPAGES})
  configure_file(${PKG_SRC}/${page}.in ${PKG_OUT}/${page} @ONLY)
  list(APPEND MANPAGE_FILES ${PKG_OUT}/${page})
  list(APPEND MANPAGE_GZ ${PKG_OUT}/${page}.gz)
  add_custom_command(OUTPUT ${PKG_OUT}/${page}.gz
    COMMAND gzip -9nkf ${page}
    WORKING_DIRECTORY ${PKG_OUT}
    DEPENDS ${PKG_OUT}/${page}
    VERBATIM)
endforeach()
add_custom_target(manpages ALL DEPENDS ${MANPAGE_GZ})
install(FILES ${MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(METAINFO ${PKG_OUT}/${UNITPEEK_APPSTREAM_ID}.metainfo.xml)
configure_file(${PKG_SRC}/metainfo.xml.in ${METAINFO} @ONLY)
install(FILES ${METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# /usr/share/doc/unitpeek: the licence as a machine-readable copyright file,
# its text taken from LICENSE (the holder from the copyright line, the rest
# indented as the format wants, blank lines as " ."), and the changelog of
# the release in Debian's format, compressed as Debian does. The package
# version has no Debian revision (the project packages itself), so Debian
# counts it as native, and a native package's changelog is changelog.gz
# (changelog.Debian.gz is for a package of someone else's release; lintian
# warns about it here).
set(UNITPEEK_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/unitpeek)
file(READ ${CMAKE_SOURCE_DIR}/LICENSE LICENSE_TEXT)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${LICENSE_TEXT}")
set(UNITPEEK_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n" "" LICENSE_BODY "${LICENSE_TEXT}")
string(STRIP "${LICENSE_BODY}" LICENSE_BODY)
string(REPLACE "\n\n" "\n.\n" LICENSE_BODY "${LICENSE_BODY}")
string(REPLACE "\n" "\n " LICENSE_BODY "${LICENSE_BODY}")
set(UNITPEEK_LICENSE_TEXT " ${LICENSE_BODY}")
if(NOT UNITPEEK_COPYRIGHT OR NOT UNITPEEK_LICENSE_TEXT MATCHES "Permission is hereby granted")
  message(FATAL_ERROR "LICENSE: no copyright line or permission notice found")
endif()
configure_file(${PKG_SRC}/copyright.in ${PKG_OUT}/copyright @ONLY)
install(FILES ${PKG_OUT}/copyright DESTINATION ${UNITPEEK_DOCDIR})

# The changelog's date line: the release date at midnight UTC, RFC 2822.
execute_process(COMMAND date -u -R -d ${UNITPEEK_RELEASE_DATE}
                OUTPUT_VARIABLE UNITPEEK_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE DATE_RESULT)
if(NOT DATE_RESULT EQUAL 0)
  message(FATAL_ERROR "date could not read the release date ${UNITPEEK_RELEASE_DATE}")
endif()
configure_file(${PKG_SRC}/changelog.Debian.in ${PKG_OUT}/changelog @ONLY)
add_custom_command(OUTPUT ${PKG_OUT}/changelog.gz
  COMMAND gzip -9nkf changelog
  WORKING_DIRECTORY ${PKG_OUT}
  DEPENDS ${PKG_OUT}/changelog
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${PKG_OUT}/changelog.gz)
install(FILES ${PKG_OUT}/changelog.gz DESTINATION ${UNITPEEK_DOCDIR})

# The Debian package. Run `cpack -G DEB` in the build folder (or
# `cpack -G DEB --config build/CPackConfig.cmake`) after a build: it writes
# unitpeek_VERSION_ARCH.deb. dpkg-shlibdeps (dpkg-dev) finds the libraries
# the programs link (Qt 6, Graphviz, ...); the Qt platform plugins are only
# a recommendation of Qt's GUI library, so the package asks for them itself.
set(CPACK_PACKAGE_NAME unitpeek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "UnitPeek developers")
set(CPACK_PACKAGE_CONTACT "${UNITPEEK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for compiled Pascal unit files (.dcu)")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "UnitPeek reads the compiled unit files (.dcu) of a classic Pascal-family"
  "IDE, format versions 2 to 7, 100, 101 and 103, and shows for each file a"
  "short summary laid out like the outline of the unit's source: unit name,"
  "format version, source files, debugger options, used units and imported"
  "DLLs."
  ""
  "The package holds the viewer unitpeek, which opens unit files from the"
  "desktop menu and the file manager, and unitpeek-dump, which prints the"
  "same summaries as text or JSON.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
include(CPack)

# Tests: the manual pages lint clean and name every option of --help, the
# desktop entry and the metainfo validate, the package installs into a
# scratch root and runs there, and lintian finds no error in it. Each skips
# (and says why) when its tool is missing; scripts/deps.sh installs them all.
set(PKG_TEST bash ${PKG_SRC}/test_packaging.sh)
add_test(NAME packaging_manpages
         COMMAND ${PKG_TEST} manpages $<TARGET_FILE:unitpeek-dump> ${MANPAGE_FILES})
add_test(NAME packaging_desktop_entry
         COMMAND ${PKG_TEST} desktop ${CMAKE_SOURCE_DIR}/resources/unitpeek.desktop)
add_test(NAME packaging_metainfo COMMAND ${PKG_TEST} metainfo ${METAINFO})
add_test(NAME packaging_deb
         COMMAND ${PKG_TEST} deb ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} $<TARGET_FILE:unitpeek-dump>
                 ${UNITPEEK_SAMPLE_DIR}/Demo7.dcu ${UNITPEEK_APPSTREAM_ID} ${UNITPEEK_RELEASE_DATE})
add_test(NAME packaging_lintian COMMAND ${PKG_TEST} lintian ${CMAKE_BINARY_DIR})
set_tests_properties(packaging_manpages packaging_desktop_entry packaging_metainfo packaging_deb
                     packaging_lintian
                     PROPERTIES SKIP_RETURN_CODE 77 ENVIRONMENT "LC_ALL=C;QT_QPA_PLATFORM=offscreen")
set_tests_properties(packaging_deb packaging_lintian PROPERTIES TIMEOUT 300
                     ENVIRONMENT "LC_ALL=C;QT_QPA_PLATFORM=offscreen;CPACK=${CMAKE_CPACK_COMMAND}")
