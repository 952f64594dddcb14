# Installing on Linux: install rules (GNUInstallDirs) for the two programs, the menu entry with its
# launcher and starter settings file, the icon, the AppStream description, the manual pages and the
# documents; and the Debian package that CPack's DEB generator makes of them (scripts/package.sh).
include(GNUInstallDirs)

set(TKD_PACKAGING_SOURCE ${PROJECT_SOURCE_DIR}/packaging)
set(TKD_PACKAGING_BINARY ${PROJECT_BINARY_DIR}/packaging)
# Debian names the documents' folder after the package, not after the CMake project.
set(TKD_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tk-dedi)
set(TKD_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tk-dedi)
# Folders made by the install are 0755 whatever the umask of whoever builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Files made at build time: the manual pages and the changelog compressed as Debian wants them,
# and the icon's bitmap sizes rendered from its SVG.
set(TKD_MADE_FILES)
foreach(name man/tk-dedi.1 man/tk4700-sim.1 changelog)
  get_filename_component(base ${name} NAME)
  add_custom_command(OUTPUT ${TKD_PACKAGING_BINARY}/${base}.gz
    COMMAND gzip -9 -n -c ${TKD_PACKAGING_SOURCE}/${name} > ${TKD_PACKAGING_BINARY}/${base}.gz
    DEPENDS ${TKD_PACKAGING_SOURCE}/${name} VERBATIM)
  list(APPEND TKD_MADE_FILES ${TKD_PACKAGING_BINARY}/${base}.gz)
endforeach()

set(TKD_ICON_SIZES 16 22 24 32 48 64 128 256)
find_program(TKD_RSVG_CONVERT rsvg-convert)
if(TKD_RSVG_CONVERT)
  foreach(size IN LISTS TKD_ICON_SIZES)
    set(png ${TKD_PACKAGING_BINARY}/icons/${size}/tk-dedi.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TKD_PACKAGING_BINARY}/icons/${size}
      COMMAND ${TKD_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${TKD_PACKAGING_SOURCE}/icons/tk-dedi.svg
      DEPENDS ${TKD_PACKAGING_SOURCE}/icons/tk-dedi.svg VERBATIM)
    list(APPEND TKD_MADE_FILES ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(STATUS "rsvg-convert not found (Debian: librsvg2-bin): the icon is installed as SVG only")
endif()
add_custom_target(tkd_install_files ALL DEPENDS ${TKD_MADE_FILES})

install(TARGETS tk4700-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TKD_PACKAGING_BINARY}/tk4700-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md ${TKD_PACKAGING_SOURCE}/copyright ${TKD_PACKAGING_BINARY}/changelog.gz
  DESTINATION ${TKD_DOC_DIR})

if(TARGET tk-dedi)
  # The menu entry runs the launcher, which runs tk-dedi in ~/TK-Dedi (see the launcher).
  set(TKD_LAUNCHER ${CMAKE_INSTALL_FULL_LIBEXECDIR}/tk-dedi/tk-dedi-launch)
  set(TKD_STARTER ${CMAKE_INSTALL_FULL_DATADIR}/tk-dedi/TK4700_TUNE.INI)
  set(TKD_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}/tk-dedi)
  configure_file(${TKD_PACKAGING_SOURCE}/tk-dedi.desktop.in ${TKD_PACKAGING_BINARY}/tk-dedi.desktop @ONLY)
  configure_file(${TKD_PACKAGING_SOURCE}/tk-dedi-launch.in ${TKD_PACKAGING_BINARY}/tk-dedi-launch @ONLY)

  install(TARGETS tk-dedi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(PROGRAMS ${TKD_PACKAGING_BINARY}/tk-dedi-launch DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tk-dedi)
  install(FILES ${TKD_PACKAGING_SOURCE}/TK4700_TUNE.INI DESTINATION ${TKD_DATA_DIR})
  install(FILES ${TKD_PACKAGING_BINARY}/tk-dedi.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${TKD_PACKAGING_SOURCE}/tk-dedi.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${TKD_PACKAGING_SOURCE}/icons/tk-dedi.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${TKD_PACKAGING_BINARY}/tk-dedi.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# A stripped install (the package's) also drops the compilers' version notes, as Debian's own tools do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program tk-dedi tk4700-sim)
      set(path \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
      if(EXISTS \"\${path}\")
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
          \"\${path}\" COMMAND_ERROR_IS_FATAL ANY)
      endif()
    endforeach()
  endif()")

# The Debian package: tk-dedi_<version>_<arch>.deb, its dependencies worked out by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tk-dedi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TK-Dedi developers")
set(CPACK_PACKAGE_CONTACT "TK-Dedi developers <tk-dedi@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are laid out for DejaVu Sans, condensed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-dejavu-extra")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "collect and chart the weighings of TK4700 indicators")
# CPack puts the summary above this text as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "TK-Dedi collects weighing data from up to three TK4700 weighing indicators
that share one serial line on a batching line. It finds the indicators,
downloads their recipe tuning, polls their state every 300 ms, writes each
completed batch as one record line to a data file per indicator, shows the
totals by recipe and dose, and charts how the weighings of one dose spread
around the dose's final value. One window, Russian user interface.
.
The package also holds tk4700-sim, a simulated serial line with TK4700
indicators on it, for trying TK-Dedi without the hardware.")
include(CPack)
