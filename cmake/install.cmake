# Installation and the Debian package: the two programs, a desktop entry for
# the tool and one for its demo, the icon and the manual pages.
#   cmake --install build --prefix /usr/local
#   (cd build && cpack -G DEB)
include(GNUInstallDirs)

install(TARGETS imbench imbench-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/imbench.desktop packaging/imbench-demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/imbench.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages carry the version, and are compressed as Debian keeps them.
find_program(IMBENCH_GZIP gzip REQUIRED)
foreach(page imbench.1 imbench-sim.1)
  configure_file(packaging/${page} ${CMAKE_CURRENT_BINARY_DIR}/man/${page} @ONLY)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz
    COMMAND ${IMBENCH_GZIP} -9nc ${CMAKE_CURRENT_BINARY_DIR}/man/${page} > ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/man/${page} VERBATIM)
  list(APPEND _imbench_man ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(imbench_man ALL DEPENDS ${_imbench_man})
install(FILES ${_imbench_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME imbench)
set(CPACK_PACKAGE_VENDOR "imbench developers")
set(CPACK_PACKAGE_CONTACT "imbench developers <imbench@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "impedance sweeps and panels for programmable power instruments")
set(CPACK_PACKAGE_DESCRIPTION "imbench drives an electronic load or a DC supply with a built-in impedance
measurement module over GPIB, RS-232, TCP or UDP: impedance sweeps shown as Bode, Nyquist and
V&C graphs and on a component meter, data files, profiles, calibration transfer, and the load
and supply panels. imbench-sim, a simulated instrument on loopback, comes with it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
