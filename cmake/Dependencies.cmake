# Every dependency is a Debian package; scripts/setup installs the missing ones.
find_package(PkgConfig REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(ZLIB REQUIRED)
find_package(pugixml REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
# The server engine (platform/jet/PgConnection): Debian's libpq-dev.
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)

add_library(qv_deps INTERFACE)
target_link_libraries(qv_deps INTERFACE
  SQLite::SQLite3 ICU::uc ICU::i18n ZLIB::ZLIB pugixml::pugixml PkgConfig::UUID PkgConfig::LIBPQ
  Threads::Threads)
