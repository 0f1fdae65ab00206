# Sourced by the scripts that run Windows programs under wine: the one place that says how.
#
#   wine_prefix DIR LOG    use the wine prefix DIR (created with wineboot when it has no
#                          registry yet, its output in LOG); returns 1 when wineboot fails
#
# Every run is quiet (WINEDEBUG=-all), never offers to install Mono or Gecko, and is kept off
# the desktop: the programs under test open no window on the developer's screen unless the
# caller sets DISPLAY after this.
wine_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  echo "creating the wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >"$2" 2>&1 || return 1
  wineserver -w
}
