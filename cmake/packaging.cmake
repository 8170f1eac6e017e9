# What users get: the install rules behind `cmake --install` and the two
# packages that CPack makes from them (`make package`):
#
#   Linux/Debian  bin/tolvex, bin/tolvex-check, share/man/man1/*.1.gz,
#                 share/doc/tolvex/{README.md,LICENSE,icon.def,copyright,changelog.gz}
#                 -> tolvex_<version>_amd64.deb (DEB generator)
#   Windows       tolvex.exe, tolvex-check.exe, README.txt, LICENSE.txt and
#                 icon.def.txt side by side, text files with CR LF
#                 -> tolvex-<version>-win64.zip (ZIP generator, MinGW build)
#
# The sample-book generator stays in the build tree: it makes test data, and a
# user converts real books. Nothing from tests, benchmarks or fuzzers is
# installed. The package version is project(VERSION); the program's banner is
# output text of its own and does not follow it.
include(GNUInstallDirs)

set(TOLVEX_MAINTAINER "tolvex authors <maintainers@users.noreply.c-seed-ed4d67a4.example>"
    CACHE STRING "Maintainer of the Debian package (and its changelog entry)")

set(_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(_pkg_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_pkg_out})

# Text files for Windows users get CR LF line ends (Notepad of older Windows
# shows LF-only files as one line); they are made again when the source changes.
function(tolvex_crlf_copy source destination)
  file(READ ${source} _text)
  string(REPLACE "\r\n" "\n" _text "${_text}")
  string(REPLACE "\n" "\r\n" _text "${_text}")
  file(WRITE ${destination}.tmp "${_text}")
  configure_file(${destination}.tmp ${destination} COPYONLY)
  file(REMOVE ${destination}.tmp)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

if(WIN32)
  # One folder: the programs beside their documents.
  install(TARGETS tolvex tolvex-check RUNTIME DESTINATION .)
  tolvex_crlf_copy(${PROJECT_SOURCE_DIR}/README.md ${_pkg_out}/README.txt)
  # The .exe files link the MinGW-w64 runtime and winpthreads statically,
  # whose licences ask for their notices beside the binaries.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
  file(READ ${_pkg_src}/windows-runtime-notices.txt _notices)
  file(WRITE ${_pkg_out}/LICENSE.lf "${_license}\n${_notices}")
  tolvex_crlf_copy(${_pkg_out}/LICENSE.lf ${_pkg_out}/LICENSE.txt)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/LICENSE ${_pkg_src}/windows-runtime-notices.txt)
  tolvex_crlf_copy(${PROJECT_SOURCE_DIR}/examples/icon.def ${_pkg_out}/icon.def.txt)
  install(FILES ${_pkg_out}/README.txt ${_pkg_out}/LICENSE.txt ${_pkg_out}/icon.def.txt DESTINATION .)
else()
  install(TARGETS tolvex tolvex-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md examples/icon.def DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT source_license)

  # Debian wants the man pages and the changelog compressed with gzip -9n (no
  # name, no time stamp: the same bytes on every build). Without gzip the man
  # pages are installed as they are, which man reads just as well.
  set(_man_pages tolvex.1 tolvex-check.1)
  find_program(TOLVEX_GZIP gzip)
  set(_compressed "")
  if(TOLVEX_GZIP)
    # The Debian changelog names the package version: project(VERSION).
    configure_file(${_pkg_src}/changelog.in ${_pkg_out}/changelog @ONLY)
    foreach(page ${_man_pages} changelog)
      if(page STREQUAL changelog)
        set(_in ${_pkg_out}/changelog)
      else()
        set(_in ${PROJECT_SOURCE_DIR}/man/${page})
      endif()
      add_custom_command(OUTPUT ${_pkg_out}/${page}.gz
                         COMMAND ${TOLVEX_GZIP} -9nc ${_in} > ${_pkg_out}/${page}.gz
                         DEPENDS ${_in} VERBATIM)
      list(APPEND _compressed ${_pkg_out}/${page}.gz)
    endforeach()
    list(TRANSFORM _man_pages PREPEND ${_pkg_out}/)
    list(TRANSFORM _man_pages APPEND .gz)
    install(FILES ${_pkg_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  else()
    list(TRANSFORM _man_pages PREPEND ${PROJECT_SOURCE_DIR}/man/)
  endif()
  add_custom_target(tolvex_docs ALL DEPENDS ${_compressed})
  install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The licence in Debian's machine-readable form.
  install(FILES ${_pkg_src}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# ------------------------------------------------------------------ CPack
set(CPACK_PACKAGE_NAME tolvex)
set(CPACK_PACKAGE_VENDOR "the tolvex authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter of EB/EPWING books into dictionary viewer packages")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/dist)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The packages take the default component only; the plain LICENSE file of a
# source install is left out of the .deb, whose copyright file holds it.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};tolvex;Unspecified;/")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_FILE_NAME tolvex-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TOLVEX_MAINTAINER})
  # Depends comes from the binaries (dpkg-shlibdeps): libc6 and libstdc++6
  # now, zlib1g as soon as the converter links zlib.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The first line of Description is CPACK_PACKAGE_DESCRIPTION_SUMMARY.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "tolvex reads an electronic book in the EB layout (CATALOG) or the EPWING
layout (CATALOGS), plain or compressed, and writes for each of its subbooks
a dictionary package for a dictionary viewer: the compressed data files,
the index file with its icons, the installation profiles and a registry
script that registers the package with the viewer.
.
tolvex-check reads packages back and verifies a whole package against the
book it was made from.")
endif()
include(CPack)
