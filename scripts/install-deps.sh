#!/usr/bin/env bash
# Debian 12 packages for building (against Qt 5 and Qt 6), running, testing, fuzzing and
# packaging.
set -euo pipefail
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends \
    cmake make g++ qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev \
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev \
    socat xvfb xauth xdotool imagemagick python3 \
    fonts-wqy-microhei \
    clang clang-format libclang-rt-14-dev llvm \
    dpkg-dev file desktop-file-utils appstream \
    weston qtwayland5 qt6-wayland x11-xserver-utils dbus at-spi2-core python3-pyatspi \
    lintian devscripts man-db rpm rpmlint diffoscope-minimal >/dev/null
