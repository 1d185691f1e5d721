#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need,
# when any of them is missing. Nothing else on the machine is changed.
set -eu
PACKAGES="build-essential cmake qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
unixodbc unixodbc-dev libsqliteodbc libsqlite3-dev sqlite3 fonts-noto-cjk
postgresql odbc-postgresql
xvfb xauth libxlsxwriter-dev zlib1g-dev python3-openpyxl
qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n
qt6-multimedia-dev"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
