# SQLite for the history store: the target SQLite::SQLite3.
# Native builds use the system's library (Debian: libsqlite3-dev, which scripts/setup installs).
if(NOT TARGET SQLite::SQLite3)
  find_package(SQLite3 QUIET)
  if(NOT SQLite3_FOUND)
    message(FATAL_ERROR "The history store needs SQLite 3 (Debian: libsqlite3-dev; scripts/setup "
                        "installs it), or configure with -DKV_BUILD_PROFILES=OFF -DKV_BUILD_GUI=OFF "
                        "-DKV_BUILD_CLI=OFF")
  endif()
endif()
