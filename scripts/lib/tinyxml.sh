# TinyXML for the Windows build. Debian has no mingw package of it, so the
# cross build compiles Debian's source package (with Debian's patches, which
# turn on TIXML_USE_STL and carry the security fixes). Sourced by the test
# scripts (bash); needs dpkg-dev for dpkg-source.
#
#   tinyxml_source DIR
#       Prints the directory of the unpacked source under DIR, fetching it
#       with `apt-get source tinyxml` the first time. A private apt
#       configuration holds the deb-src entry, so the machine's own sources
#       are left as they are.
# shellcheck shell=bash

tinyxml_source() {
  local cache=${1:?tinyxml_source DIR}
  local found
  found=$(find "$cache" -mindepth 1 -maxdepth 1 -type d -name 'tinyxml-[0-9]*' 2>/dev/null | head -n 1)
  if [ -n "$found" ] && [ -f "$found/tinyxml.cpp" ]; then
    echo "$found"
    return 0
  fi
  mkdir -p "$cache/apt/lists/partial" || return 1
  cache=$(cd "$cache" && pwd)
  echo "deb-src http://deb.debian.org/debian bookworm main" >"$cache/apt/sources.list"
  local apt=(-o "Dir::Etc::SourceList=$cache/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$cache/apt/lists" -o APT::Sandbox::User=root)
  apt-get "${apt[@]}" update -qq </dev/null >&2 || return 1
  (cd "$cache" && apt-get "${apt[@]}" source -qq tinyxml </dev/null >&2) || return 1
  found=$(find "$cache" -mindepth 1 -maxdepth 1 -type d -name 'tinyxml-[0-9]*' | head -n 1)
  [ -n "$found" ] && [ -f "$found/tinyxml.cpp" ] || return 1
  echo "$found"
}
