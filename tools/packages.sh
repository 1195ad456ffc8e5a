# Debian 12 packages of the project, kept in one place for tools/run.sh and
# tools/test.sh. Source this file, then call install_packages run|test.
#
# run:  what building and running the program and the simulator needs.
# test: run, plus what the tests, the sanitizer and fuzz builds, the real-display
#       tests, the command line and the Windows build need.

ZPK3X_PACKAGES_RUN=(
  build-essential cmake ninja-build file dpkg-dev pkg-config groff-base
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  libqt6opengl6-dev libgl-dev libqt6uitools6
  qt6-svg-dev libqt6svg6 qt6-charts-dev qt6-translations-l10n
  libxcb1-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libtomlplusplus-dev
  libmosquitto-dev
  pybind11-dev python3-dev
  fonts-dejavu-core
)

ZPK3X_PACKAGES_TEST=(
  clang libclang-rt-14-dev
  locales
  xvfb xauth openbox xdotool libxtst-dev x11-utils imagemagick
  mingw-w64 wine
  mosquitto mosquitto-clients openssl
  ser2net
  python3-pytest python3-mypy
)

install_packages() {
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  local list=("${ZPK3X_PACKAGES_RUN[@]}")
  [ "$1" = test ] && list+=("${ZPK3X_PACKAGES_TEST[@]}")
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${list[@]}"
  if [ "$1" = test ] && ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
    $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    $sudo locale-gen
  fi
}
