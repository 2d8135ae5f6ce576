# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the files staged for the Debian
# packages: qvdb and the Python module lose the $ORIGIN run path that lets a
# private prefix find the library, since a package puts the library where
# the dynamic linker looks (and Debian's policy forbids custom run paths).
file(GLOB_RECURSE staged LIST_DIRECTORIES false
  "${CPACK_TEMPORARY_DIRECTORY}/*/usr/bin/*"
  "${CPACK_TEMPORARY_DIRECTORY}/*/usr/lib/python3/dist-packages/*.so")
foreach(f ${staged})
  file(RPATH_REMOVE FILE "${f}")
endforeach()
