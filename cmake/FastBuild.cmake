# Compile time from a clean tree without a compiler cache (CI, a first
# `scripts/test` or `scripts/demo` on a fresh clone): with QV_UNITY the
# library, qvdb's pieces and the test programs are compiled as unity builds,
# QV_UNITY_BATCH source files to a translation unit, each with a precompiled
# header of the standard headers most files include (the test programs share
# one, with gtest and gmock). Every configure preset turns it on. Measured on
# the library's sources at -O2 -g: three batches of eight files took 65 s of
# CPU time, the same 24 files one by one 130 s; the whole `default` preset
# from nothing took 1,643 s of CPU time (1,432 s user, 212 s system). The
# benchmarks stay file by file (few, and each its own program). The `asan`
# preset also keeps line tables only (-g1): a sanitizer report still names
# function, file and line of every frame, and the compiler writes and the
# linker copies a fraction of the debug information. It stays at -O0: -O1
# compiles its sources 40 to 60% longer, more than it could save of the
# sanitized test run.
#
# A worktree beside /work/main that shares a warm compiler cache builds
# faster file by file (`cmake --preset default -DQV_UNITY=OFF`): a unity
# source names its files by absolute path, so one checkout's batches and
# precompiled headers never serve another's, while a file-by-file build
# compiles only what changed. That build is also the one that shows a file
# which does not include what it uses (in a batch, an earlier file's
# includes hide it).
#
# Two files of one batch share a translation unit, so a name a .cpp keeps to
# itself (in an anonymous namespace, `static`, or a namespace-scope
# `constexpr`) must not be declared by another .cpp of the same target in the
# same namespace: the build fails with a redefinition, or, for a function,
# one file's call may pick the other's overload. Give the name what it is
# about (kDocumentColumns, not kColumns), or move a helper two files share
# into a header. A class a header names must not hold a type of an anonymous
# namespace (GCC's -Wsubobject-linkage, in a batch). A file whose errors name
# their module by a file-level
# `kModule` (QV_HERE) is compiled alone (qv_compile_alone): in a batch another
# file's kModule could name its errors. A test (TEST_F) whose fixture a test
# file keeps in an anonymous namespace is defined in that namespace too
# (GCC's -Wsubobject-linkage otherwise, in a file another one includes). Macros a .cpp defines for itself are
# #undef'd at its end.
option(QV_UNITY "Unity builds and precompiled headers for the library, qvdb and the tests" OFF)
set(QV_UNITY_BATCH 8 CACHE STRING "Source files per unity translation unit")

# qv_fast_build(TARGET HEADER...): a unity build of TARGET with HEADER...
# (<name>) precompiled.
function(qv_fast_build target)
  if(NOT QV_UNITY)
    return()
  endif()
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON
    UNITY_BUILD_BATCH_SIZE ${QV_UNITY_BATCH})
  # (CMake adds -Winvalid-pch: a header the compiler cannot use is said.)
  target_precompile_headers(${target} PRIVATE ${ARGN})
endfunction()

# qv_compile_alone(FILE...): FILE... stay translation units of their own.
function(qv_compile_alone)
  set_source_files_properties(${ARGN} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
endfunction()

# The standard headers most files of the library and of qvdb include. Only
# system headers: CMake marks its precompiled header a system header, which
# would silence the warnings of our own headers in it.
set(QV_PCH_HEADERS
  <algorithm> <array> <cmath> <cstdint> <cstdio> <cstdlib> <cstring> <filesystem>
  <functional> <map> <memory> <optional> <set> <span> <string> <string_view>
  <unordered_map> <utility> <vector>)

# qv_fast_build_tests(DIR): the test programs (test_*) made in DIR as unity
# builds, all with the precompiled header of the test main (qv_testmain):
# gtest, gmock and the standard headers, compiled once instead of once per
# program.
function(qv_fast_build_tests dir)
  if(NOT QV_UNITY)
    return()
  endif()
  target_precompile_headers(qv_testmain PRIVATE <gtest/gtest.h> <gmock/gmock.h> ${QV_PCH_HEADERS})
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    if(target MATCHES "^test_")
      set_target_properties(${target} PROPERTIES UNITY_BUILD ON
        UNITY_BUILD_BATCH_SIZE ${QV_UNITY_BATCH})
      target_precompile_headers(${target} REUSE_FROM qv_testmain)
    endif()
  endforeach()
endfunction()
