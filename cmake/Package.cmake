# Installation and the Debian package of the Linux build. The Windows and
# core-only builds return before this file is read, so they install nothing.
include(GNUInstallDirs)

set(IMPTHERM_DEB_NAME impthermorvane)
set(IMPTHERM_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${IMPTHERM_DEB_NAME})
set(IMPTHERM_DEB_MAINTAINER "ImpThermOrvane maintainers <impthermorvane@meridon.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(pkgdir ${CMAKE_SOURCE_DIR}/packaging)

# The Debian changelog's newest entry must name the version being built, or
# the package would contradict itself; its date also dates the manual pages,
# so that a rebuild of one version gives the same files.
file(STRINGS ${pkgdir}/debian/changelog changelog_top LIMIT_COUNT 1)
file(STRINGS ${pkgdir}/debian/changelog changelog_trailer REGEX "^ -- ")
list(GET changelog_trailer 0 changelog_trailer)
if(NOT changelog_top MATCHES "^${IMPTHERM_DEB_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: its first entry is not version ${PROJECT_VERSION}")
endif()
string(REGEX REPLACE "^.*>  " "" changelog_date "${changelog_trailer}")
execute_process(COMMAND date -u -d "${changelog_date}" +%s OUTPUT_VARIABLE release_epoch
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

find_program(IMPTHERM_SCDOC scdoc)
if(NOT IMPTHERM_SCDOC)
  message(FATAL_ERROR "scdoc is needed to build the manual pages (Debian package scdoc; scripts/setup.sh installs it)")
endif()
set(man_dir ${CMAKE_BINARY_DIR}/man)
set(man_outputs)
foreach(page impthermorvane.1 ImpThermOrvane.ini.5)
  set(out ${man_dir}/${page})
  add_custom_command(
    OUTPUT ${out} ${out}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${release_epoch}
            sh -c "\"$0\" < \"$1\" > \"$2\" && gzip -9 -n -c \"$2\" > \"$2.gz\""
            ${IMPTHERM_SCDOC} ${pkgdir}/man/${page}.scd ${out}
    DEPENDS ${pkgdir}/man/${page}.scd
    COMMENT "Manual page ${page}"
    VERBATIM)
  list(APPEND man_outputs ${out} ${out}.gz)
  string(REGEX MATCH "[0-9]$" section ${page})
  install(FILES ${out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
set(changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$1\"" ${pkgdir}/debian/changelog ${changelog_gz}
  DEPENDS ${pkgdir}/debian/changelog
  VERBATIM)
add_custom_target(manpages ALL DEPENDS ${man_outputs} ${changelog_gz})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# A fully read-only GOT (relro is already the linker's default here).
target_link_options(impthermorvane PRIVATE -Wl,-z,now)
install(TARGETS impthermorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package's) also drops the compilers' notes, which
# plain strip keeps.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/impthermorvane\"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${pkgdir}/bash-completion/impthermorvane
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The user unit, enabled by each user who wants the browser bridge (or by
# "systemctl --global enable" for every user: each takes a port of its own).
install(FILES ${pkgdir}/systemd/impthermorvane-bridge.service
        DESTINATION lib/systemd/user)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${pkgdir}/debian/copyright ${changelog_gz}
        DESTINATION ${IMPTHERM_DOC_DIR})
# Where the README's links find them (the example pages are in examples/:
# HTML beside the manual would ask for a doc-base registration).
file(GLOB IMPTHERM_DOCS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
install(FILES ${IMPTHERM_DOCS} DESTINATION ${IMPTHERM_DOC_DIR}/docs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION ${IMPTHERM_DOC_DIR}/docs)
install(FILES ${CMAKE_SOURCE_DIR}/data/sample/labels.txt ${CMAKE_SOURCE_DIR}/data/sample/baggage.txt
              ${CMAKE_SOURCE_DIR}/data/sample/sheet_parcels.txt ${CMAKE_SOURCE_DIR}/data/sample/sheet_baggage.txt
              ${CMAKE_SOURCE_DIR}/docs/example-page.html
        DESTINATION ${IMPTHERM_DOC_DIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${IMPTHERM_DEB_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${IMPTHERM_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcups is loaded when a printer is first asked for, so the shared library
# dependencies found in the program do not name it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcups2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Sheets are drawn with the Liberation faces, which have the metrics of the
# faces the layouts were made for.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups, lprint")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "label printing for parcel and baggage logistics")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The print runs of a logistics web application: the program takes the
parameters of a web page, downloads the label data file over HTTP (through
an authenticating proxy when asked) and prints every label record, as an
EPL2 job for a thermal label printer (to a file, a CUPS printer, a serial or
a parallel port) or four to a sheet with Code 128 barcodes on an ordinary
printer.
.
It also draws EPL2 jobs into PDF or PNG files, and serves web pages on this
computer as a local print bridge (systemd user units included).")
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE)
set(IMPTHERM_DEB_FILE ${CMAKE_BINARY_DIR}/${IMPTHERM_DEB_NAME}_${PROJECT_VERSION}_${deb_arch}.deb)
include(CPack)

# The package as a user meets it (ctest -L package): the first test makes it,
# the second unpacks and tries it.
add_test(NAME package_build COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target package)
set_tests_properties(package_build PROPERTIES FIXTURES_SETUP debian_package LABELS package TIMEOUT 900)
add_test(NAME package_check
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/check_package.sh ${IMPTHERM_DEB_FILE} ${PROJECT_VERSION}
                 $<TARGET_FILE:impthermorvane>)
set_tests_properties(package_check PROPERTIES FIXTURES_REQUIRED debian_package LABELS package TIMEOUT 300)
