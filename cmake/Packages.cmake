# Debian packages through CPack, one per component: harbex, orvalisd,
# libquormgmt1 (the library's runtime name only) and libquormgmt-dev (the
# .so link, the header, the .pc file and the examples). scripts/package
# builds them from a build configured for /usr; the packages put files where
# the build's configured prefix says, so every path written into them
# (pkg-config file, systemd unit, man pages) holds.
set(quor_version ${PROJECT_VERSION})
set(quor_library_package libquormgmt${QUORMGMT_SOVERSION})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME harbex)
set(CPACK_PACKAGE_VENDOR "Quor Systems")
set(CPACK_PACKAGE_VERSION ${quor_version})
set(CPACK_PACKAGE_CONTACT "Quor Systems <harbex@quor-systems.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Orvalisd Library Development)
if(HARBEX_GUI)
  list(PREPEND CPACK_COMPONENTS_ALL Harbex)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE harbex)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_HARBEX_PACKAGE_NAME harbex)
set(CPACK_DEBIAN_HARBEX_PACKAGE_SECTION utils)
# harbex loads the library, and Qt loads the SVG image plugin that draws its
# icons, at run time: dpkg-shlibdeps sees neither.
set(CPACK_DEBIAN_HARBEX_PACKAGE_DEPENDS "${quor_library_package} (= ${quor_version}), libqt6svg6")
set(CPACK_DEBIAN_HARBEX_PACKAGE_RECOMMENDS orvalisd)
set(CPACK_COMPONENT_HARBEX_DESCRIPTION
    "multiport serial board and COM port manager (Quor Tallyport)
Harbex lists the multiport serial boards of the machine and every other COM
port in a tree, shows live which program holds each port and what its modem
lines, settings and counters say, and opens terminal windows on ports, with
line lamps, RTS/DTR toggles, a loopback test and a line-settings dialog.
.
On Linux the boards come from orvalisd, which simulates them on
pseudo-terminals; any serial port can be added as a COM port.")

set(CPACK_DEBIAN_ORVALISD_PACKAGE_NAME orvalisd)
set(CPACK_DEBIAN_ORVALISD_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_ORVALISD_DESCRIPTION
    "simulated multiport serial boards for the Quor board management library
orvalisd stands in for the board driver on hosts without one: it simulates
multiport serial boards whose ports are pseudo-terminals, publishes them in
a host root for libquormgmt and harbex, and answers the driver's requests,
with live port status and byte counters and optional loopback plugs.
.
A systemd user unit runs it for the session.")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${quor_library_package})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# The library's trigger for ldconfig, and its one symbol for dpkg-shlibdeps.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/triggers ${CMAKE_BINARY_DIR}/packaging/symbols)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION
    "Quor board management library
libquormgmt finds the maker's multiport serial boards when it is loaded and
answers, through its single function MgmtCommand, what it found: the boards,
their driver, their ports' names, and each port's live status and counters.
.
This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libquormgmt-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${quor_library_package} (= ${quor_version})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "Quor board management library - development files
libquormgmt finds the maker's multiport serial boards when it is loaded and
answers, through its single function MgmtCommand, what it found.
.
This package holds the C header quormgmt.h (valid C99 and C++), the
pkg-config file, the link for building, and example programs in C and
Python that list the boards and ports of a running orvalisd.")

include(CPack)
