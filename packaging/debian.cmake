# A Debian package with CPack: cmake --build build --target package
# gives tav-configurator_<version>_<arch>.deb; its dependencies are worked
# out from the binaries by dpkg-shlibdeps.

set(TAV_MAINTAINER "TAV-RS485-KT configurator developers <tav-configurator@example.org>"
    CACHE STRING "Maintainer of the Debian package: Name <address>")
set(TAV_RELEASE_DATE "Mon, 07 Dec 2026 12:00:00 +0000"
    CACHE STRING "Date of this release, RFC 2822, for the package's changelog")

# What software centres show: the AppStream metainfo, dated as the release.
string(REGEX MATCH "([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9])" _ "${TAV_RELEASE_DATE}")
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND _months "${CMAKE_MATCH_2}" _month)
math(EXPR _month "${_month} + 1")
if(_month LESS 10)
    set(_month "0${_month}")
endif()
set(TAV_RELEASE_ISO_DATE "${CMAKE_MATCH_3}-${_month}-${CMAKE_MATCH_1}")
configure_file(resources/tav-configurator.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/packaging/org.example.tav_configurator.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/org.example.tav_configurator.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# What Debian wants in /usr/share/doc/<package>: the copyright and a
# changelog in its own format (the project's own CHANGELOG.md lies beside).
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
set(debian_changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog)
file(WRITE ${debian_changelog}
"${PROJECT_NAME} (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}; CHANGELOG.md in this folder lists the changes.

 -- ${TAV_MAINTAINER}  ${TAV_RELEASE_DATE}
")
find_program(GZIP_PROGRAM gzip)
if(GZIP_PROGRAM)
    execute_process(COMMAND ${GZIP_PROGRAM} -9nf ${debian_changelog})
    install(FILES ${debian_changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAV_MAINTAINER})
set(CPACK_PACKAGE_VENDOR "TAV-RS485-KT configurator developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configurator for the TAV-RS485-KT RS-485 field module")
set(CPACK_PACKAGE_DESCRIPTION
"Reads the RS-485 line settings (baud rate, stop bits, parity) of a
TAV-RS485-KT field module through its USB-serial adapter, writes new ones
and switches the module into its operating mode. A search waits for the
adapter to be plugged in and reads the module by itself; every exchange is
logged. tav-configurator-cli commissions a batch of modules from the
command line on the same engine. A simulated module and a guided demo are
included.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
