# Installation: the shared library with its public headers, a CMake package
# (find_package(QvDBProvider) gives QvDBProvider::QvDBProvider), a pkg-config
# file, qvdb with its man page and bash completion, the Python module, and
# Debian packages of them (cpack -G DEB, cmake/DebianPackages.cmake), one per
# install component: runtime, tool, dev, python.
#
# The library goes into the multiarch directory (lib/x86_64-linux-gnu on
# Debian) under any prefix, so that the package puts it where the dynamic
# linker looks and a private prefix has the same layout (a build folder
# configured before, with plain lib, moves too).
if(CMAKE_LIBRARY_ARCHITECTURE AND (NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR}
    OR "$CACHE{CMAKE_INSTALL_LIBDIR}" STREQUAL "lib"))
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH
    "Object code libraries (lib/<multiarch>)" FORCE)
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The public headers: the facade and exactly the headers it includes. Each
# includes only standard headers and others of this list; the consumer test
# (tests/install) compiles against the installed copy and fails when one
# reaches for a header left out.
set(QV_PUBLIC_HEADERS
  platform/automation/Collection.h
  platform/automation/Error.h
  platform/automation/Object.h
  platform/automation/SpareMemory.h
  platform/automation/Variant.h
  platform/automation/VbaDate.h
  platform/ado/AdoConstants.h
  platform/ado/AdoError.h
  platform/ado/AdoTypes.h
  platform/ado/Recordset.h
  platform/ado/RowOrder.h
  platform/ado/RowTable.h)
set(QV_INCLUDE_SUBDIR ${CMAKE_INSTALL_INCLUDEDIR}/Qv_DBProvider)
foreach(h ${QV_PUBLIC_HEADERS})
  get_filename_component(dir ${h} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/src/${h} DESTINATION ${QV_INCLUDE_SUBDIR}/${dir}
    COMPONENT dev)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/include/QvDBProvider.h DESTINATION ${QV_INCLUDE_SUBDIR}
  COMPONENT dev)
target_include_directories(qv_dbprovider PUBLIC $<INSTALL_INTERFACE:${QV_INCLUDE_SUBDIR}>)
target_compile_features(qv_dbprovider PUBLIC cxx_std_20)

install(TARGETS qv_dbprovider EXPORT QvDBProviderTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
set(QV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QvDBProvider)
install(EXPORT QvDBProviderTargets NAMESPACE QvDBProvider:: DESTINATION ${QV_CMAKE_DIR}
  COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QvDBProviderConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QvDBProviderConfig.cmake INSTALL_DESTINATION ${QV_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QvDBProviderConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QvDBProviderConfig.cmake
  ${PROJECT_BINARY_DIR}/QvDBProviderConfigVersion.cmake DESTINATION ${QV_CMAKE_DIR} COMPONENT dev)

# pkg-config: the directories relative to the prefix the file is found under,
# so that a tree moved elsewhere still works.
file(RELATIVE_PATH QV_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(${PROJECT_SOURCE_DIR}/cmake/QvDBProvider.pc.in
  ${PROJECT_BINARY_DIR}/QvDBProvider.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/QvDBProvider.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The reference data of the law (data/refdata), loaded into new data folders.
# The library looks for it beside itself, where it is installed, and else in
# the source tree it was built from (so a build tree needs no install).
set(QV_REFDATA_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/Qv_DBProvider/refdata)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/refdata/ DESTINATION ${QV_REFDATA_INSTALL_DIR}
  COMPONENT runtime)
file(RELATIVE_PATH QV_LIB_TO_REFDATA /${CMAKE_INSTALL_LIBDIR} /${QV_REFDATA_INSTALL_DIR})
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/core/schema/RefDataLoad.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS QV_REFDATA_FROM_LIBDIR="${QV_LIB_TO_REFDATA}"
  QV_REFDATA_SOURCE_DIR="${PROJECT_SOURCE_DIR}/data/refdata")

if(TARGET qvdb)
  # Finds the library beside it wherever the tree is installed.
  file(RELATIVE_PATH QV_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(qvdb PROPERTIES INSTALL_RPATH "$ORIGIN/${QV_BIN_TO_LIB}")
  install(TARGETS qvdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/qvdb/qvdb.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qvdb
    COMPONENT tool)
  # The manual page is written by hand (a test holds it to qvdb --help-all);
  # installed compressed, as Debian wants man pages (-n: no name or time in
  # the header, so the same page gives the same file).
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/qvdb.1.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/tools/qvdb/qvdb.1 > ${PROJECT_BINARY_DIR}/qvdb.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/qvdb/qvdb.1 VERBATIM)
  add_custom_target(qvdb_man ALL DEPENDS ${PROJECT_BINARY_DIR}/qvdb.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/qvdb.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT tool)
endif()

# A sanitizer build cannot be loaded into an interpreter built without them.
if(QV_PYTHON AND NOT QV_SANITIZE)
  add_subdirectory(${PROJECT_SOURCE_DIR}/python ${PROJECT_BINARY_DIR}/python-module)
endif()

qv_deb_finish()

# A sanitizer build cannot be loaded by a program built without them, so the
# installed tree is tried in the default build only.
if(QV_TESTS AND NOT QV_SANITIZE)
  add_test(NAME install_consumer
    COMMAND ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh ${PROJECT_BINARY_DIR}
      ${PROJECT_SOURCE_DIR})
endif()
