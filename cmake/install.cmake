# What `cmake --install` puts where, below CMAKE_INSTALL_PREFIX (/usr/local
# unless told otherwise; DESTDIR is honoured, as CMake always does). Installing
# only copies files: the caches of desktop entries, mime types and icons are
# left to the Debian package's triggers, or to the commands in README.
include(GNUInstallDirs)

# Installing (and packaging) takes the targets as they are: build them first.
# Without this, CPack would build every test and benchmark first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(KEYLOOM_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(KEYLOOM_PACKAGE_MAINTAINER "Keyloom maintainers <maintainers@keyloom.example>" CACHE STRING
    "The maintainer named in the changelog and the Debian package")

if(KEYLOOM_BUILD_GUI)
  install(TARGETS keyloom RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The desktop entry and the AppStream metadata are named by the component id.
  install(FILES ${KEYLOOM_DATA_DIR}/${KEYLOOM_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KEYLOOM_DATA_DIR}/${KEYLOOM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${KEYLOOM_DATA_DIR}/icons/keyloom.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size IN LISTS KEYLOOM_ICON_SIZES)
    install(FILES ${KEYLOOM_DATA_DIR}/icons/hicolor/${size}x${size}/apps/keyloom.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  install(FILES ${KEYLOOM_DATA_DIR}/keyloom-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME keyloom.xml)
endif()
install(TARGETS keyloom-dump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages, compressed as Debian installs them (gzip -n: no name or time
# inside, so the same page gives the same bytes).
set(keyloom_man_pages keyloom-dump.1)
if(KEYLOOM_BUILD_GUI)
  list(APPEND keyloom_man_pages keyloom.1)
endif()
set(keyloom_man_outputs)
foreach(page IN LISTS keyloom_man_pages)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/man/${page} > ${out}
    DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}
    COMMENT "Compressing the manual page ${page}")
  list(APPEND keyloom_man_outputs ${out})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${keyloom_man_outputs})
install(FILES ${keyloom_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The copyright note and the changelog, where Debian keeps them.
set(keyloom_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/keyloom)
configure_file(${PROJECT_SOURCE_DIR}/cmake/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
  COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/doc/changelog > ${CMAKE_BINARY_DIR}/doc/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog
  COMMENT "Compressing the changelog")
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${KEYLOOM_DATA_DIR}/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION ${keyloom_doc_dir})
