# Installation and packages.
#   Linux:   cmake --install <build> puts the three programs into bin/, the desktop icon
#            (drawn by tools/pictures) into share/icons/hicolor, the desktop entry, the
#            AppStream metadata, manual pages (made from each program's --help), copyright and
#            changelog; cpack (or the "package" target) builds a .deb.
#   Windows: the programs go to the top of the prefix, next to the DLLs that
#            scripts/build-windows copies in; cpack builds a .zip.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(kv_app_id org.kv480t.Config)  # AppStream id; the desktop entry bears the same name
set(kv_pkg_dir ${PROJECT_SOURCE_DIR}/packaging)
set(kv_out_dir ${PROJECT_BINARY_DIR}/packaging)

if(WIN32)
  set(kv_bin_dir .)
else()
  set(kv_bin_dir ${CMAKE_INSTALL_BINDIR})
endif()

# name|summary for the NAME line of its manual page
set(kv_programs
    "kv480t-config|configure a KV480T-R-2 data collector over a serial line (window)"
    "kv480t|configure a KV480T-R-2 data collector over a serial line (command line)"
    "kv480t-sim|simulated KV480T-R-2 data collector on a pseudo-terminal")
set(kv_installed "")
foreach(entry IN LISTS kv_programs)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${kv_bin_dir})
    list(APPEND kv_installed ${program})
  endif()
endforeach()

if(UNIX)
  # Manual pages: made by running each program with --help, so not for cross builds, and not
  # for sanitizer builds (a leak report at exit would break the build).
  if(NOT CMAKE_CROSSCOMPILING AND KV_SANITIZE STREQUAL "")
    set(pages "")
    foreach(entry IN LISTS kv_programs)
      string(REPLACE "|" ";" entry "${entry}")
      list(GET entry 0 program)
      list(GET entry 1 summary)
      if(NOT program IN_LIST kv_installed)
        continue()
      endif()
      set(see_also ${kv_installed})
      list(REMOVE_ITEM see_also ${program})
      list(TRANSFORM see_also APPEND "(1)")
      set(page ${kv_out_dir}/man/${program}.1.gz)
      add_custom_command(
        OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${kv_out_dir}/man
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
                "-DSUMMARY=${summary}" -DVERSION=${PROJECT_VERSION} "-DSEE_ALSO=${see_also}"
                -DOUTPUT=${page} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
        DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
                ${PROJECT_SOURCE_DIR}/cmake/Gzip.cmake
        COMMENT "Manual page of ${program} from its --help"
        VERBATIM)
      list(APPEND pages ${page})
    endforeach()
    add_custom_target(kv_man_pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(STATUS "Packaging: no manual pages in a cross or sanitizer build")
  endif()

  if(TARGET kv480t-config)
    install(FILES ${kv_pkg_dir}/${kv_app_id}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${kv_pkg_dir}/${kv_app_id}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    get_property(icon_dir GLOBAL PROPERTY KV_DESKTOP_ICON_DIR)
    if(icon_dir)
      install(DIRECTORY ${icon_dir}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
              FILES_MATCHING PATTERN "*.png")
    else()
      message(WARNING "Packaging: the desktop icon is drawn by tools/pictures, which this "
                      "build leaves out (KV_BUILD_TOOLS=OFF): the window is installed "
                      "without its icon")
    endif()
  endif()

  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
  install(FILES ${kv_pkg_dir}/copyright DESTINATION ${doc_dir})
  add_custom_command(
    OUTPUT ${kv_out_dir}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -DINPUT=${kv_pkg_dir}/changelog -DOUTPUT=${kv_out_dir}/changelog.gz
            -P ${PROJECT_SOURCE_DIR}/cmake/Gzip.cmake
    DEPENDS ${kv_pkg_dir}/changelog ${PROJECT_SOURCE_DIR}/cmake/Gzip.cmake
    COMMENT "Compressing the changelog"
    VERBATIM)
  add_custom_target(kv_changelog ALL DEPENDS ${kv_out_dir}/changelog.gz)
  install(FILES ${kv_out_dir}/changelog.gz DESTINATION ${doc_dir})

  # The package's version comes from the project; the changelog's newest entry should match.
  file(STRINGS ${kv_pkg_dir}/changelog newest LIMIT_COUNT 1)
  if(NOT newest MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
    message(WARNING "packaging/changelog: the newest entry is not version ${PROJECT_VERSION}; "
                    "add an entry before building a package")
  endif()
endif()

# --- CPack ------------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "kv480t-config maintainers")
set(CPACK_PACKAGE_CONTACT
    "kv480t-config maintainers <maintainers@users.noreply.c-seed-e58adee4.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration tool for the KV480T-R-2 data collector")
set(CPACK_PACKAGE_DESCRIPTION
    "kv480t-config reads and sets the parameters of a KV480T-R-2 data collector
over a serial line (USB-RS485 or USB-RS232 adapter, 9600 baud 8N1): a Qt
window with one Set button per parameter, communication test, data query,
reset to factory values, profiles, and send and receive buffers that show
every frame.

The package also holds kv480t, a command-line program for the same requests,
and kv480t-sim, a simulated collector on a pseudo-terminal for trying both
without hardware. The user needs access to the serial device (group dialout).")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # dpkg-shlibdeps finds the libraries; Qt's X11 platform plugin (xcb) comes with
  # libqt6gui6, so no dependency needs to be added by hand.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
include(CPack)
