# Installs the Debian packages named that are not installed yet (apt-get, through sudo when not
# root), announcing them in one line, "<who>: installing N packages (...)…". apt's own output
# goes to the file named by $NEWSCLASS_INSTALL_LOG when it is set (a failure then names it and
# shows its end), to standard error otherwise. Sourced by scripts/setup.sh, scripts/sanitize.sh,
# scripts/fuzz.sh and .ci/postgres.sh:
#   install_missing_packages WHO PACKAGE...
#   start_build_log BUILD-DIR NAME   (makes BUILD-DIR, sets $log to an empty BUILD-DIR/NAME.log
#                                     and sends apt's output there)
start_build_log() {
  mkdir -p "$1"
  log=$(realpath "$1")/$2.log
  : >"$log"
  export NEWSCLASS_INSTALL_LOG=$log
}

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
  local count="${#missing[@]} packages"
  [ ${#missing[@]} -eq 1 ] && count="1 package"
  echo "$who: installing $count (${missing[*]})…" >&2
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  local log=${NEWSCLASS_INSTALL_LOG:-/dev/stderr}
  if ! { $sudo apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
           "${missing[@]}"; } >>"$log" 2>&1; then
    if [ "$log" != /dev/stderr ]; then
      echo "$who: installing failed; apt's output is in $log, ending:" >&2
      tail -n 15 "$log" >&2
    else
      echo "$who: installing failed" >&2
    fi
    return 1
  fi
}

# What building newsclass and running its tests needs (Open MPI for runs across processes and
# the tests of them; cpp-httplib, nlohmann-json and pkg-config, which finds the former, for
# serve).
newsclass_build_packages=(g++ cmake make pkg-config libgtest-dev libboost-regex-dev unixodbc-dev
                          odbcinst libsqliteodbc libcli11-dev libxxhash-dev liblinear-dev
                          python3-jieba libopenmpi-dev openmpi-bin libcpp-httplib-dev
                          nlohmann-json3-dev)
