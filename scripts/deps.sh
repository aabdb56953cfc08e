# Sourced by the scripts: installs the Debian packages the build and tests need,
# only those that are missing, so a warm machine pays nothing.
KES_PACKAGES=(cmake ninja-build g++ pkg-config unixodbc unixodbc-dev odbcinst libsqlite3-dev sqlite3
              libmd-dev flex bison libgtest-dev libgmock-dev libbenchmark-dev python3-pyodbc
              php-cli php-odbc libdbd-odbc-perl iodbc)

# Only the benchmarks use these (a peer driver to compare with); no test needs them.
KES_BENCH_PACKAGES=(libsqliteodbc)

# kes_install_deps [package...]: the packages named, KES_PACKAGES by default.
kes_install_deps() {
  local missing=()
  local p
  local want=("$@")
  ((${#want[@]})) || want=("${KES_PACKAGES[@]}")
  for p in "${want[@]}"; do
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

kes_install_bench_deps() { kes_install_deps "${KES_BENCH_PACKAGES[@]}"; }
