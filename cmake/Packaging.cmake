# Installation and the three Debian packages, built by one `cpack -G DEB` (tools/package.sh):
#   vexa-probe         the probe; no Qt
#   vexa-sim-headless  the simulator without a window, the systemd template, its example options
#   vexa-sim           the window program, its desktop entry and icons
# Each install() names its component; a file without one would make a fourth package.
include(GNUInstallDirs)

# Debian's layout wants directories 0755 whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(VEXA_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(VEXA_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
set(VEXA_DEB_PROBE vexa-probe)
set(VEXA_DEB_HEADLESS vexa-sim-headless)
set(VEXA_DEB_WINDOW vexa-sim)

# The changelog's latest entry names the version the packages carry.
file(STRINGS ${VEXA_PACKAGING}/changelog changelogHead LIMIT_COUNT 1)
if(NOT changelogHead MATCHES "^vexa-sim \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the latest entry is not version ${PROJECT_VERSION}")
endif()

# Man pages and the changelog go in compressed, without a time stamp (gzip -n).
set(compressed)
foreach(source man/vexa-probe.1 man/vexa-sim-headless.1 man/vexa-sim.1 changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${VEXA_PACKAGING_OUT}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VEXA_PACKAGING_OUT}
    COMMAND gzip -9n -c ${VEXA_PACKAGING}/${source} > ${VEXA_PACKAGING_OUT}/${name}.gz
    DEPENDS ${VEXA_PACKAGING}/${source} VERBATIM)
  list(APPEND compressed ${VEXA_PACKAGING_OUT}/${name}.gz)
endforeach()
add_custom_target(vexa_packaging_files ALL DEPENDS ${compressed})

# The service template, with this installation's path of the program.
configure_file(${VEXA_PACKAGING}/systemd/vexa-sim@.service.in
  ${VEXA_PACKAGING_OUT}/vexa-sim@.service @ONLY)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  find_package(PkgConfig REQUIRED)
  pkg_get_variable(VEXA_SYSTEMD_UNIT_DIR systemd systemdsystemunitdir)
endif()
if(NOT VEXA_SYSTEMD_UNIT_DIR)
  set(VEXA_SYSTEMD_UNIT_DIR ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()

function(vexa_install_docs component package)
  install(FILES ${VEXA_PACKAGING}/copyright ${VEXA_PACKAGING_OUT}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()

install(TARGETS vexa-probe RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT probe)
install(FILES ${VEXA_PACKAGING_OUT}/vexa-probe.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT probe)
vexa_install_docs(probe ${VEXA_DEB_PROBE})

install(TARGETS vexa-sim-headless RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT headless)
install(FILES ${VEXA_PACKAGING_OUT}/vexa-sim-headless.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT headless)
install(FILES ${VEXA_PACKAGING_OUT}/vexa-sim@.service
  DESTINATION ${VEXA_SYSTEMD_UNIT_DIR} COMPONENT headless)
install(FILES ${VEXA_PACKAGING}/systemd/example.conf
  DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/vexa-sim COMPONENT headless)
vexa_install_docs(headless ${VEXA_DEB_HEADLESS})

install(TARGETS vexa-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
install(FILES ${VEXA_PACKAGING_OUT}/vexa-sim.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT window)
install(FILES ${VEXA_PACKAGING}/vexa-sim.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)
foreach(size 32 48 64 128)
  install(FILES ${VEXA_PACKAGING}/icons/vexa-sim-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME vexa-sim.png COMPONENT window)
endforeach()
install(FILES ${VEXA_PACKAGING}/icons/vexa-sim.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT window)
vexa_install_docs(window ${VEXA_DEB_WINDOW})

set(CPACK_PACKAGE_NAME vexa-sim)
set(CPACK_PACKAGE_VENDOR "Vexa simulator developers")
set(CPACK_PACKAGE_CONTACT "Vexa simulator developers <dev@vexa.invalid>")
set(CPACK_COMPONENTS_ALL probe headless window)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# Stripped; tools/package.sh keeps the debug symbols beside the packages, by build ID.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PROBE_PACKAGE_NAME ${VEXA_DEB_PROBE})
set(CPACK_DEBIAN_PROBE_DESCRIPTION
  "probe for Vexa field units and their simulator
vexa-probe sends ASCII command lines to a Vexa unit over UDP, undoes the
reply framing of protocol variants 110, 130 and 150 and prints the reply
bodies, as text or JSON. It can poll a unit and print its status when it
changes, replay a recorded traffic log and compare every reply, and check
that a unit answers (--health) for a container engine or a watchdog.")

set(CPACK_DEBIAN_HEADLESS_PACKAGE_NAME ${VEXA_DEB_HEADLESS})
set(CPACK_DEBIAN_HEADLESS_PACKAGE_RECOMMENDS ${VEXA_DEB_PROBE})
set(CPACK_DEBIAN_HEADLESS_PACKAGE_CONTROL_EXTRA
  "${VEXA_PACKAGING}/debian/headless/conffiles;${VEXA_PACKAGING}/debian/headless/postinst;${VEXA_PACKAGING}/debian/headless/postrm")
set(CPACK_DEBIAN_HEADLESS_DESCRIPTION
  "Vexa field unit simulator for servers, without a window
vexa-sim-headless stands in for a networked Vexa field unit while supervisory
software is developed and tested: it answers ASCII command lines on UDP port
5010 as the unit does, in protocol variants 110, 130 and 150, and keeps the
unit's configuration and live values across runs. An operator console on
standard input sets the simulated inputs and levels.

This package needs no graphical libraries. It ships the systemd template
vexa-sim@.service: one instance per name, with its options in
/etc/vexa-sim/NAME.conf and its state in /var/lib/vexa-sim/NAME.")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME ${VEXA_DEB_WINDOW})
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "fonts-liberation2")
set(CPACK_DEBIAN_WINDOW_PACKAGE_SUGGESTS ${VEXA_DEB_PROBE})
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
  "Vexa field unit simulator with an operator window
vexa-sim stands in for a networked Vexa field unit while supervisory software
is developed and tested: it answers ASCII command lines on UDP port 5010 as
the unit does, in protocol variants 110, 130 and 150, and keeps the unit's
configuration and live values across runs.

The window lets an operator set the eight simulated inputs, move the three
analogue levels, pick the protocol variant and watch the traffic.")

include(CPack)
