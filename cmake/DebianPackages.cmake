# The Debian packages, made by `cpack -G DEB` in the build folder
# (scripts/test): one package per install component, each with the copyright
# file (cmake/debian/copyright) and changelog.Debian.gz in
# /usr/share/doc/PACKAGE.
#
#   component  package               contents
#   runtime    libqv-dbprovider1     the shared library, the law's reference data
#   tool       qvdb                  qvdb with its man page and bash completion
#   dev        libqv-dbprovider-dev  headers, the .so link, pkg-config file, CMake package
#   python     python3-qvdb          the Python module
#
# Another package: install its files with `COMPONENT name` and declare it,
# from any CMakeLists.txt of the tree, with
#   qv_deb_package(name PACKAGE pkg SECTION section SUMMARY "one line"
#     DESCRIPTION "a paragraph" [DEPENDS component...] [EXTRA_DEPENDS "debian deps"]
#     [CONTROL_EXTRA file...])
# DEPENDS names components whose packages it needs at the same version; the
# libraries its binaries link add theirs (dpkg-shlibdeps); CONTROL_EXTRA
# files go into its control archive (triggers, maintainer scripts). qv_deb_finish(),
# at the end of cmake/Install.cmake, writes the CPack settings.

set(QV_DEB_RELEASE 1)
set(QV_DEB_VERSION ${PROJECT_VERSION}-${QV_DEB_RELEASE})
set(QV_DEB_SOURCE qv-dbprovider)

# qv_deb_package(COMPONENT PACKAGE name SECTION s SUMMARY text DESCRIPTION text
#                [DEPENDS component...] [EXTRA_DEPENDS text])
function(qv_deb_package component)
  cmake_parse_arguments(arg "" "PACKAGE;SECTION;SUMMARY;DESCRIPTION;EXTRA_DEPENDS" "DEPENDS;CONTROL_EXTRA"
    ${ARGN})
  foreach(required PACKAGE SECTION SUMMARY DESCRIPTION)
    if(NOT arg_${required})
      message(FATAL_ERROR "qv_deb_package(${component}): ${required} is missing")
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY QV_DEB_COMPONENTS ${component})
  foreach(key PACKAGE SECTION SUMMARY DESCRIPTION EXTRA_DEPENDS DEPENDS CONTROL_EXTRA)
    set_property(GLOBAL PROPERTY QV_DEB_${component}_${key} "${arg_${key}}")
  endforeach()
endfunction()

qv_deb_package(runtime PACKAGE libqv-dbprovider1 SECTION libs
  CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers
  SUMMARY "data-access library for statutory reporting (shared library)"
  DESCRIPTION "Taxpayers, accounting streams, report documents and their cells, pension-fund data, warrants, users and the event log, kept in SQLite and reached by operation name (GetCountry, ReadRecord, LogEvent ...), with Jet SQL on SQLite underneath. This package holds the shared library and the reference data of the law it loads into new data folders.")
qv_deb_package(tool PACKAGE qvdb SECTION database DEPENDS runtime
  SUMMARY "set up, explore and check a Qv_DBProvider data folder"
  DESCRIPTION "qvdb creates a data folder, fills it with sample data, imports Jet files, runs Jet SQL in a shell, calls any operation of the library by name, checks and backs up a folder. With its man page and bash completion.")
qv_deb_package(dev PACKAGE libqv-dbprovider-dev SECTION libdevel DEPENDS runtime
  SUMMARY "data-access library for statutory reporting (development files)"
  DESCRIPTION "The public headers (QvDBProvider.h), the link to the shared library, a pkg-config file (QvDBProvider) and a CMake package (find_package(QvDBProvider), target QvDBProvider::QvDBProvider) for programs that call the library.")

# The words of TEXT in lines of at most 79 characters, into OUT.
function(qv_deb_wrap text out)
  string(REGEX REPLACE "[ \n]+" ";" words "${text}")
  set(result "")
  set(line "")
  foreach(w IN LISTS words)
    string(LENGTH "${line} ${w}" n)
    if(line STREQUAL "")
      set(line "${w}")
    elseif(n GREATER 79)
      string(APPEND result "${line}\n")
      set(line "${w}")
    else()
      string(APPEND line " ${w}")
    endif()
  endforeach()
  set(${out} "${result}${line}" PARENT_SCOPE)
endfunction()

# The settings of every declared package, then CPack itself.
macro(qv_deb_finish)
  set(CPACK_PACKAGE_NAME ${QV_DEB_SOURCE})
  set(CPACK_PACKAGE_VENDOR "Qv_DBProvider developers")
  # No mail address yet: the domain reserved for invalid ones.
  set(CPACK_PACKAGE_CONTACT "Qv_DBProvider developers <qvdb@qv-dbprovider.invalid>")
  # (No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it before each
  # package's own summary.)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${QV_DEB_RELEASE})
  set(CPACK_DEBIAN_PACKAGE_SOURCE ${QV_DEB_SOURCE})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  # The runtime packages of the libraries the binaries link, as dpkg-shlibdeps
  # reads them from the installed files; the library's own package gets a
  # shlibs file and the ldconfig trigger.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
  set(CPACK_PACKAGE_FILE_NAME ${QV_DEB_SOURCE}-${PROJECT_VERSION})
  # dpkg-shlibdeps finds the library of this build in the runtime package's
  # staging folder (the binaries of the other packages link it).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_FILE_NAME}/runtime${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
  # The installed binaries find the library in the multiarch folder; the
  # $ORIGIN run path that serves a private prefix is taken out of the packages.
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/DropRunPaths.cmake)

  # The changelog every package carries (Debian's format, dated by
  # SOURCE_DATE_EPOCH when set), compressed without name or time.
  string(TIMESTAMP QV_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in
    ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
  execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/debian/changelog.Debian
    RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip of the Debian changelog failed")
  endif()

  get_property(QV_DEB_COMPONENTS GLOBAL PROPERTY QV_DEB_COMPONENTS)
  set(CPACK_COMPONENTS_ALL ${QV_DEB_COMPONENTS})
  foreach(c ${QV_DEB_COMPONENTS})
    string(TOUPPER ${c} C)
    foreach(key PACKAGE SECTION SUMMARY DESCRIPTION EXTRA_DEPENDS DEPENDS CONTROL_EXTRA)
      get_property(qv_deb_${key} GLOBAL PROPERTY QV_DEB_${c}_${key})
    endforeach()
    set(CPACK_DEBIAN_${C}_PACKAGE_NAME ${qv_deb_PACKAGE})
    set(CPACK_DEBIAN_${C}_PACKAGE_SECTION ${qv_deb_SECTION})
    qv_deb_wrap("${qv_deb_DESCRIPTION}" qv_deb_DESCRIPTION)
    set(CPACK_DEBIAN_${C}_DESCRIPTION "${qv_deb_SUMMARY}\n${qv_deb_DESCRIPTION}")
    set(CPACK_COMPONENT_${C}_DEPENDS ${qv_deb_DEPENDS})
    set(CPACK_DEBIAN_${C}_PACKAGE_CONTROL_EXTRA ${qv_deb_CONTROL_EXTRA})
    if(qv_deb_EXTRA_DEPENDS)
      set(CPACK_DEBIAN_${C}_PACKAGE_DEPENDS "${qv_deb_EXTRA_DEPENDS}")
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
      ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${qv_deb_PACKAGE} COMPONENT ${c})
  endforeach()
  include(CPack)
endmacro()
