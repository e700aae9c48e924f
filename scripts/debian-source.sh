# Fetching and unpacking the upstream tarball of a Debian source package, for the scripts that build
# third-party libraries for Windows. Source it; it works in the current folder.
#   fetch PACKAGE 'TARBALL_PATTERN'   downloads the package's sources unless a matching tarball is here
#   unpack DIR 'TARBALL_PATTERN'      unpacks the tarball into DIR afresh, without its top folder

# Only the upstream tarball is needed. A security update's Debian files can be missing from a mirror
# while its tarball is there; then an older version of the package from the main archive serves.
fetch() {
  local package=$1 pattern=$2 version
  if ls $pattern >/dev/null 2>&1; then return; fi
  apt-get source --download-only "$package" >/dev/null 2>&1 || true
  if ls $pattern >/dev/null 2>&1; then return; fi
  for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p'); do
    apt-get source --download-only "$package=$version" >/dev/null 2>&1 || true
    if ls $pattern >/dev/null 2>&1; then return; fi
  done
  echo "could not fetch the source of $package" >&2
  exit 1
}

unpack() {
  rm -rf "$1" && mkdir "$1"
  tar -xf $(ls $2 | head -n1) -C "$1" --strip-components=1
}
