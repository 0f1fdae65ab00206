# SQLite for the history store: the target SQLite::SQLite3.
# Native builds use the system's library (Debian: libsqlite3-dev, which scripts/setup installs;
# native Windows builds: vcpkg's sqlite3 port). Windows builds without one (the mingw-w64 cross
# build) compile SQLite's amalgamation from the folder KV_SQLITE_SOURCE into a static library:
# scripts/fetch-sqlite makes it from Debian's sqlite3 source, and scripts/build-windows and
# scripts/test-windows pass it.
set(KV_SQLITE_SOURCE "" CACHE PATH
    "Windows builds: a folder with SQLite's amalgamation (sqlite3.c, sqlite3.h), compiled in statically")

if(NOT TARGET SQLite::SQLite3)
  if(WIN32 AND KV_SQLITE_SOURCE)
    if(NOT EXISTS "${KV_SQLITE_SOURCE}/sqlite3.c" OR NOT EXISTS "${KV_SQLITE_SOURCE}/sqlite3.h")
      message(FATAL_ERROR "KV_SQLITE_SOURCE is ${KV_SQLITE_SOURCE}, which holds no sqlite3.c and "
                          "sqlite3.h (SQLite's amalgamation; scripts/fetch-sqlite makes one and "
                          "prints its folder)")
    endif()
    # Not our code: none of our warning flags, and its own warnings not shown.
    add_library(kvsqlite3 STATIC "${KV_SQLITE_SOURCE}/sqlite3.c")
    set_target_properties(kvsqlite3 PROPERTIES OUTPUT_NAME sqlite3)
    target_compile_definitions(kvsqlite3 PRIVATE
      SQLITE_THREADSAFE=1         # connections may be used from any thread (serialized)
      SQLITE_OMIT_LOAD_EXTENSION  # no code loaded from DLLs at run time
      SQLITE_DQS=0)               # "text" is an identifier only, never a string literal
    if(MSVC)
      target_compile_options(kvsqlite3 PRIVATE /w)
    else()
      target_compile_options(kvsqlite3 PRIVATE -w)
    endif()
    target_include_directories(kvsqlite3 SYSTEM INTERFACE "${KV_SQLITE_SOURCE}")
    add_library(SQLite::SQLite3 ALIAS kvsqlite3)
    file(STRINGS "${KV_SQLITE_SOURCE}/sqlite3.h" kv_sqlite_version
         REGEX "^#define SQLITE_VERSION +\"[^\"]+\"")
    string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" kv_sqlite_version "${kv_sqlite_version}")
    message(STATUS "SQLite ${kv_sqlite_version}: compiled from ${KV_SQLITE_SOURCE}")
  else()
    if(KV_SQLITE_SOURCE)
      message(NOTICE "KV_SQLITE_SOURCE is used for Windows builds only; this build takes the "
                     "system's SQLite")
    endif()
    find_package(SQLite3 QUIET)
    if(NOT SQLite3_FOUND)
      message(FATAL_ERROR
              "The history store needs SQLite 3 and found none. Either the system's library "
              "(Debian: libsqlite3-dev, which scripts/setup installs; native Windows: vcpkg's "
              "sqlite3 port), or, for Windows builds, SQLite's amalgamation compiled in: "
              "-DKV_SQLITE_SOURCE=<folder with sqlite3.c and sqlite3.h> (scripts/fetch-sqlite "
              "makes it and prints the folder; scripts/build-windows passes it). Or configure "
              "with -DKV_BUILD_PROFILES=OFF -DKV_BUILD_GUI=OFF -DKV_BUILD_CLI=OFF")
    endif()
  endif()
endif()
