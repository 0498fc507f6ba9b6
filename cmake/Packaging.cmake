# Installation and the Debian package. Included at the end of the top-level CMakeLists.txt,
# once the executables are defined.
#
#   cmake --install build [--prefix DIR]   programs to bin/, manual pages to share/man/man1/
#   cd build && cpack -G DEB               ciflash_<version>_<arch>.deb
#
# ciflash-sim is always installed; ciflash only when it was built, that is with real firmware
# images. Only then does the package set the capability that lets operators run it.
include(GNUInstallDirs)

install(TARGETS ciflash-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET ciflash)
  install(TARGETS ciflash RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
set(ciflash_pages ciflash.1 ciflash-sim.1)
if(TARGET ciflash-rehearse)
  install(TARGETS ciflash-rehearse RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND ciflash_pages ciflash-rehearse.1)
endif()

# Manual pages, compressed as Debian installs them (-n: no name or time stamp inside, so the
# same page gives the same bytes).
find_program(CIFLASH_GZIP gzip REQUIRED)
set(ciflash_man_pages)
foreach(page ${ciflash_pages})
  set(compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${CIFLASH_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/man/${page} > ${compressed}
    DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}
    COMMENT "Compressing the manual page ${page}"
    VERBATIM)
  list(APPEND ciflash_man_pages ${compressed})
endforeach()
add_custom_target(ciflash_man_pages ALL DEPENDS ${ciflash_man_pages})
install(FILES ${ciflash_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ciflash)
set(CPACK_PACKAGE_VENDOR "ciflash developers")
set(CPACK_PACKAGE_CONTACT "ciflash developers <dev@ciflash.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "rewrite the flash firmware of DVB Common Interface modules")
# The long description, in lines as the control file shows them; an empty line between
# paragraphs.
set(ciflash_description
    "ciflash rewrites the flash firmware of a DVB Common Interface module (a PCMCIA"
    "card) in a PCMCIA reader that maps the module's command-interface registers"
    "into the PC's I/O ports 0x300 to 0x380. It runs on a text terminal and is"
    "driven by single keys."
    ""
    "ciflash-sim is the same program with a simulated module, for trying and"
    "testing it without the hardware."
    "")
if(TARGET ciflash)
  set(CIFLASH_INSTALLED_PROGRAM ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/ciflash)
  set(ciflash_control_dir ${PROJECT_BINARY_DIR}/debian)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/postinst.in ${ciflash_control_dir}/postinst @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/prerm.in ${ciflash_control_dir}/prerm @ONLY)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      "${ciflash_control_dir}/postinst;${ciflash_control_dir}/prerm")
  # The package works without setcap (ciflash then runs as root only), so it recommends it.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcap2-bin)
  list(APPEND ciflash_description
       "The installation gives ciflash the capability cap_sys_rawio, so that operators"
       "can run it without being root.")
else()
  list(APPEND ciflash_description
       "This package was built without firmware images: it holds only the simulator.")
endif()
list(JOIN ciflash_description "\n" CPACK_PACKAGE_DESCRIPTION)

include(CPack)
