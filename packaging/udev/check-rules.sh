#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the udev rule for serial adapters with `udevadm test`, against a made-up sysfs in a
# private mount namespace: two USB serial adapters of one maker (0403:6001 serial A1B2C3, and
# 0403:6015 serial FT9Z8Y) and an on-board port. The file must parse without a complaint; as
# shipped it gives no device to the desktop user and sets no latency timer; with its example
# line for the model, or for the serial number, uncommented, the first adapter alone gets the
# uaccess tag and the 1 ms timer.
#
# Needs root (for the mount namespace). Takes udevadm from PATH, else unpacks Debian's udev
# package in a temporary folder without installing it.
#   packaging/udev/check-rules.sh [rules file]
set -euo pipefail

if [ "${1:-}" = --inside ]; then
    # In the private mount namespace: $2 the rules file, $3 udevadm.
    rules=$2 udevadm=$3
    export SYSTEMD_DEVICE_VERIFY_SYSFS=0 # the made-up sysfs is a tmpfs
    mount -t tmpfs none /sys
    mkdir -p /sys/bus/usb /sys/bus/usb-serial/devices /sys/class/tty
    tty_device() { # <folder> <name> <minor>: a tty device in <folder>
        mkdir -p "$1/tty/$2"
        printf 'MAJOR=188\nMINOR=%s\nDEVNAME=%s\n' "$3" "$2" >"$1/tty/$2/uevent"
        echo "188:$3" >"$1/tty/$2/dev"
        ln -s /sys/class/tty "$1/tty/$2/subsystem"
        ln -s "$1/tty/$2" "/sys/class/tty/$2"
    }
    usb_adapter() { # <port> <vendor> <product> <serial> <tty> <minor>
        local usb=/sys/devices/pci0000:00/0000:00:14.0/usb1/$1
        local serial=$usb/$1:1.0/$5
        mkdir -p "$serial"
        printf 'DEVTYPE=usb_device\nDRIVER=usb\n' >"$usb/uevent"
        echo "$2" >"$usb/idVendor" && echo "$3" >"$usb/idProduct" && echo "$4" >"$usb/serial"
        printf 'DEVTYPE=usb_interface\n' >"$usb/$1:1.0/uevent"
        ln -s /sys/bus/usb "$usb/subsystem" && ln -s /sys/bus/usb "$usb/$1:1.0/subsystem"
        : >"$serial/uevent" && echo 16 >"$serial/latency_timer"
        ln -s /sys/bus/usb-serial "$serial/subsystem" && ln -s "$serial" "/sys/bus/usb-serial/devices/$5"
        tty_device "$serial" "$5" "$6"
    }
    usb_adapter 1-1 0403 6001 A1B2C3 ttyUSB0 0
    usb_adapter 1-2 0403 6015 FT9Z8Y ttyUSB1 1
    mkdir -p /sys/devices/platform/serial8250
    tty_device /sys/devices/platform/serial8250 ttyS0 64
    # Only the rules file under test: the machine's own rules are hidden.
    for folder in /etc/udev/rules.d /usr/local/lib/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d; do
        [ -d "$folder" ] && mount -t tmpfs none "$folder"
    done
    mount -t tmpfs none /run
    mkdir -p /run/udev/rules.d
    cp "$rules" /run/udev/rules.d/60-corvexlink-serial.rules
    # One word per device: what the rule did to it (uaccess, timer or -).
    for device in /sys/class/tty/ttyUSB0 /sys/class/tty/ttyUSB1 /sys/class/tty/ttyS0 \
        /sys/bus/usb-serial/devices/ttyUSB0 /sys/bus/usb-serial/devices/ttyUSB1; do
        out=$("$udevadm" test --action=add "$(realpath "$device")" 2>&1) || {
            echo "$out" >&2
            exit 1
        }
        # Any line naming the rules file, other than the timer it writes, is a complaint.
        if grep -E '60-corvexlink-serial\.rules:[0-9]+' <<<"$out" | grep -vq "latency_timer' writing '1'"; then
            grep -E '60-corvexlink-serial\.rules:[0-9]+' <<<"$out" >&2
            exit 1
        fi
        if grep -q '^TAGS=.*:uaccess:' <<<"$out"; then
            echo uaccess
        elif grep -q "latency_timer' writing '1'" <<<"$out"; then
            echo timer
        else
            echo -
        fi
    done | paste -sd ' '
    exit 0
fi

rules=$(realpath "${1:-$(dirname "$0")/60-corvexlink-serial.rules}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
udevadm=$(command -v udevadm || true)
if [ -z "$udevadm" ]; then
    if ! fetched=$(cd "$work" && apt-get download -q udev 2>&1 && dpkg-deb -x udev_*.deb udev 2>&1); then
        echo "check-rules: no udevadm, and Debian's udev package could not be unpacked: $fetched" >&2
        exit 1
    fi
    udevadm=$(find "$work/udev" -path '*bin/udevadm' -type f | head -1)
fi
if "$udevadm" verify --help >/dev/null 2>&1; then
    "$udevadm" verify "$rules"
fi

fails=0
check() { # <what> <sed script> <expected words for ttyUSB0 ttyUSB1 ttyS0, then their serial devices>
    sed "$2" "$rules" >"$work/case.rules"
    local seen
    seen=$(unshare -m --propagation private "$0" --inside "$work/case.rules" "$udevadm") || seen="udevadm complained"
    if [ "$seen" = "$3" ]; then
        echo "check-rules: $1: $seen"
    else
        echo "check-rules: $1: expected '$3', saw '$seen'" >&2
        fails=1
    fi
}
check "as shipped" '' '- - - - -'
check "the model named" 's/^#\(ATTRS{idVendor}\)/\1/' 'uaccess - - timer -'
check "the serial named" 's/^#\(ATTRS{serial}\)/\1/' 'uaccess - - timer -'
exit $fails
