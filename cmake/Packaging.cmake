# Installation and the Debian package. Included at the end of the top-level CMakeLists.txt,
# once the executables are defined.
#
#   cmake --install build [--prefix DIR]   programs to bin/, manual pages to share/man/man1/
#   cd build && cpack -G DEB               ciflash_<version>_<arch>.deb
#
# ciflash-sim is always installed; ciflash only when it was built, that is with real firmware
# images. Only then does the package set the capability that lets operators run it.
include(GNUInstallDirs)

# A stripped installation (cmake --install --strip, and the package) also
# drops the compiler's .comment section, which strip keeps.
function(ciflash_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(path "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>")
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"${path}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endfunction()

ciflash_install_program(ciflash-sim)
if(TARGET ciflash)
  ciflash_install_program(ciflash)
  # The reader's lock file, made at boot for the group ciflash.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/tmpfiles.conf DESTINATION lib/tmpfiles.d
          RENAME ciflash.conf)
endif()
set(ciflash_pages ciflash.1 ciflash-sim.1)
if(TARGET ciflash-rehearse)
  ciflash_install_program(ciflash-rehearse)
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

# The package's documentation: the licence in Debian's machine-readable form, a changelog entry
# for this version (dated by SOURCE_DATE_EPOCH when set, so that a rebuild gives the same
# bytes), and the one lintian note that is deliberate. The packaging lives in the project's own
# tree, so the package is native: its version is the project's, without a Debian revision, and
# its changelog is changelog.gz.
string(TIMESTAMP CIFLASH_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(CPACK_PACKAGE_CONTACT "ciflash developers <dev@ciflash.invalid>")
set(ciflash_changelog ${PROJECT_BINARY_DIR}/debian/changelog)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${ciflash_changelog} @ONLY)
add_custom_command(
  OUTPUT ${ciflash_changelog}.gz
  COMMAND ${CIFLASH_GZIP} -9 -n -c ${ciflash_changelog} > ${ciflash_changelog}.gz
  DEPENDS ${ciflash_changelog}
  COMMENT "Compressing the Debian changelog"
  VERBATIM)
add_custom_target(ciflash_changelog ALL DEPENDS ${ciflash_changelog}.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${ciflash_changelog}.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ciflash)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ciflash)
set(CPACK_PACKAGE_VENDOR "ciflash developers")
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
    "testing it without the hardware. ciflash-rehearse runs a ciflash binary"
    "unchanged against that simulated module, to rehearse an update."
    "")
if(TARGET ciflash)
  set(CIFLASH_INSTALLED_PROGRAM ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/ciflash)
  set(ciflash_control_dir ${PROJECT_BINARY_DIR}/debian)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/postinst.in ${ciflash_control_dir}/postinst @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/prerm.in ${ciflash_control_dir}/prerm @ONLY)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      "${ciflash_control_dir}/postinst;${ciflash_control_dir}/prerm")
  # The postinst creates the group with groupadd. The package works without setcap (ciflash
  # then runs as root only), so it recommends it.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS passwd)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcap2-bin)
  list(APPEND ciflash_description
       "The installation gives ciflash the capability cap_sys_rawio and lets the"
       "members of the system group ciflash run it without being root.")
else()
  list(APPEND ciflash_description
       "This package was built without firmware images: it holds no ciflash.")
endif()
list(JOIN ciflash_description "\n" CPACK_PACKAGE_DESCRIPTION)

include(CPack)
