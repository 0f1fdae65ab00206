# Sourced by the scripts that build for Windows from Debian's packages (scripts/build-windows,
# scripts/test-windows, scripts/fetch-sqlite): the one place that says how packages are
# installed, sources fetched and header-only packages given to the cross build.
#
#   need_packages PKG...   installs the Debian packages not yet installed (apt-get, as root or
#                          through sudo)
#   ensure_deb_src PKG     makes `apt-get source PKG` work: adds deb-src entries for the Debian
#                          mirror already in use when there are none; returns 1 when it cannot
#   fetch_source PKG       fetches and unpacks PKG's source (Debian's patches applied) into the
#                          current directory; prints its folder
#   write_header_shims DIR CMake package files in DIR/CLI11 and DIR/nlohmann_json for the
#                          cross build (pass -DCLI11_DIR=DIR/CLI11 -Dnlohmann_json_DIR=...)
#
# Messages start with the calling script's name.

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

need_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "${0##*/}: installing ${missing[*]}" >&2
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq "${missing[@]}" >&2
  fi
}

ensure_deb_src() {
  if apt-get source --print-uris "$1" >/dev/null 2>&1; then return 0; fi
  local list=/etc/apt/sources.list.d/kv480t-deb-src.sources
  echo "${0##*/}: adding deb-src entries for Debian's mirror ($list)" >&2
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      as_root tee "$list" >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      as_root tee "${list%.sources}.list" >/dev/null
  else
    echo "${0##*/}: no Debian sources list found to derive deb-src entries from" >&2
    return 1
  fi
  as_root apt-get update -qq
}

fetch_source() {
  local pkg=$1
  apt-get source -qq "$pkg" >&2 || return 1
  find . -mindepth 1 -maxdepth 1 -type d -name "$pkg-[0-9]*" | sort | tail -1
}

# CLI11 and nlohmann-json are header-only, but the CMake files of Debian's packages add
# /usr/include to the include path, where mingw would pick up glibc's headers. These small
# package files point at the two header folders only.
write_header_shims() {
  local shim=$1
  mkdir -p "$shim/include" "$shim/CLI11" "$shim/nlohmann_json"
  ln -sfn /usr/include/CLI "$shim/include/CLI"
  ln -sfn /usr/include/nlohmann "$shim/include/nlohmann"
  local name
  for name in CLI11:CLI11::CLI11 nlohmann_json:nlohmann_json::nlohmann_json; do
    cat >"$shim/${name%%:*}/${name%%:*}Config.cmake" <<EOF
add_library(${name#*:} INTERFACE IMPORTED)
set_target_properties(${name#*:} PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES \${CMAKE_CURRENT_LIST_DIR}/../include)
EOF
  done
  local json_version
  json_version=$(dpkg-query -W -f='${Version}' nlohmann-json3-dev | sed 's/-.*//')
  cat >"$shim/nlohmann_json/nlohmann_jsonConfigVersion.cmake" <<EOF
set(PACKAGE_VERSION $json_version)
if(PACKAGE_FIND_VERSION_MAJOR AND NOT PACKAGE_FIND_VERSION_MAJOR EQUAL ${json_version%%.*})
  set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
EOF
}
