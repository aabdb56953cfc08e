# Sourced by the scripts: installs the Debian packages the build and tests need,
# only those that are missing, so a warm machine pays nothing.
KES_PACKAGES=(cmake ninja-build g++ pkg-config unixodbc unixodbc-dev odbcinst libsqlite3-dev sqlite3
              libmd-dev flex bison libgtest-dev libgmock-dev libbenchmark-dev python3-pyodbc
              php-cli php-odbc libdbd-odbc-perl)

kes_install_deps() {
  local missing=()
  local p
  for p in "${KES_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}
