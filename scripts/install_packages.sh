# Installs the Debian packages named that are not installed yet (apt-get, through sudo when not
# root), announcing them with "<who>: installing ...". Sourced by scripts/setup.sh and
# .ci/postgres.sh:  install_missing_packages WHO PACKAGE...
install_missing_packages() {
  local who=$1
  shift
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "$who: installing ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >&2
}
