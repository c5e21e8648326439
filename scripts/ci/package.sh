#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks CorvexLink as an installed product:
#   1. an install tree whose core library links no Qt;
#   2. a program outside the tree (tests/consumer) built with find_package(CorvexLink)
#      against that tree, run against the simulator;
#   3. the Debian packages: built with CPack, their contents checked, lintian's findings
#      listed; the library, development and tools packages installed with dpkg, a program
#      built with pkg-config against them and run against the installed simulator, the
#      library loaded from Python; then the packages are removed again;
#   4. the udev rule for serial adapters (packaging/udev/check-rules.sh).
# Needs root (or sudo) for steps 3 and 4.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=build/package
work=$(mktemp -d)
sim=""
installed=()
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  if [ ${#installed[@]} -gt 0 ]; then $SUDO dpkg -r "${installed[@]}" >/dev/null || true; fi
  rm -rf "$work"
}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
trap cleanup EXIT

scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DCORVEXLINK_BUILD_TESTS=OFF -DCORVEXLINK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2

# Starts the simulator with stations 0 to 3 behind the link $work/com1.
start_sim() {
  "$1" --stations 0-3 --link "$work/com1" >"$work/sim.log" 2>&1 &
  sim=$!
  for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done
  [ -e "$work/com1" ] || { echo "package.sh: the simulator did not start"; cat "$work/sim.log"; exit 1; }
}
stop_sim() { kill "$sim"; wait "$sim" 2>/dev/null || true; sim=""; rm -f "$work/com1"; }

echo "== install tree"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
core=$(find "$work/prefix" -name 'libCorvexLink.so.2' | head -1)
echo "ldd $core:"
ldd "$core"
if ldd "$core" | grep -qi qt; then echo "package.sh: the installed core links Qt"; exit 1; fi
for f in include/CorvexLink.h include/CorvexLinkVersion.h; do
  [ -f "$work/prefix/$f" ] || { echo "package.sh: $f not installed"; exit 1; }
done
if find "$work/prefix/bin" -name '*.html' | grep -q .; then echo "package.sh: documents in bin/"; exit 1; fi

echo "== consumer with find_package"
version=$(sed -n 's/^project(CorvexLink VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cmake -S tests/consumer -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_C_FLAGS="-DEXPECTED_VERSION=\\\"$version\\\"" >/dev/null
cmake --build "$work/consumer" >/dev/null
start_sim "$build/sim/kx4417-sim"
CORVEXLINK_COM1="$work/com1" "$work/consumer/consumer"
stop_sim

echo "== Debian packages"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/*.deb)
for deb in "${debs[@]}"; do echo "$(basename "$deb")"; dpkg-deb -c "$deb" | awk '{print "    " $6 $7 $8}'; done
# Each package holds what it is for, and nothing of another.
# (The listing is read whole first: grep -q stops early, which would fail the pipe.)
expect() {  # expect <package> <path pattern>...
  local deb list; deb=$(ls "$build/$1"_*.deb); shift
  list=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for pattern in "$@"; do
    grep -Eq "$pattern" <<<"$list" || { echo "package.sh: $deb lacks $pattern"; exit 1; }
  done
}
refuse() {  # refuse <package> <path pattern>
  local deb list; deb=$(ls "$build/$1"_*.deb)
  list=$(dpkg-deb -c "$deb" | awk '{print $6}')
  if grep -Eq "$2" <<<"$list"; then echo "package.sh: $deb holds $2"; exit 1; fi
}
expect libcorvexlink2 'lib/.*/libCorvexLink\.so\.2$' 'lib/.*/libCorvexLink\.so\.2\.' 'corvexlink/corvexlink-qt-ui\.so$' 'doc/libcorvexlink2/copyright' \
  'doc/libcorvexlink2/changelog\.gz$'
refuse libcorvexlink2 'include/|\.a$|libCorvexLink\.so$'
# The loader's cache is refreshed by the triggers file, not by maintainer scripts.
control=$(dpkg-deb --info "$build"/libcorvexlink2_*.deb | grep -E '^ +[0-9]+ bytes,')
grep -Eq ' triggers( |$)' <<<"$control" || { echo "package.sh: libcorvexlink2 has no triggers file"; exit 1; }
if grep -Eq ' (postinst|postrm)( |$)' <<<"$control"; then echo "package.sh: libcorvexlink2 has maintainer scripts"; exit 1; fi
expect libcorvexlink-dev 'include/CorvexLink\.h$' 'include/CorvexLinkVersion\.h$' 'pkgconfig/corvexlink\.pc$' \
  'cmake/CorvexLink/CorvexLinkConfig\.cmake$' 'cmake/CorvexLink/CorvexLinkConfigVersion\.cmake$' \
  'cmake/CorvexLink/CorvexLinkTargets\.cmake$' 'libCorvexLink\.so$' \
  'man3/corvexlink\.3\.gz$' 'man3/corvexlink-port\.3\.gz$' 'man3/corvexlink-fifo\.3\.gz$' 'man3/PortOpen\.3\.gz$'
refuse libcorvexlink-dev 'man3/[^/]*\.3$|man3/(device|port|usb)\.3\.gz$'
refuse libcorvexlink-dev '\.a$|libCorvexLink\.so\.2'
expect corvexlink-tools 'bin/kx4417-sim$' 'bin/corvexctl$' 'man1/kx4417-sim\.1\.gz$' 'man1/corvexctl\.1\.gz$'
expect python3-corvexlink 'dist-packages/corvexlink/__init__\.py$' 'dist-packages/corvexlink/py\.typed$' \
  'dist-packages/corvexlink-[0-9.]+\.dist-info/METADATA$' 'dist-packages/corvexlink-[0-9.]+\.dist-info/entry_points\.txt$' \
  'doc/python3-corvexlink/html/index\.html$'
refuse python3-corvexlink '__pycache__|\.pyc$|libCorvexLink|/RECORD$|jquery'
pyinfo=$(dpkg-deb --info "$build"/python3-corvexlink_*.deb)
for field in 'Depends: .*python3:any' 'Depends: .*libcorvexlink2' 'Recommends: corvexlink-tools' 'Architecture: all'; do
  grep -Eq "^ $field" <<<"$pyinfo" || { echo "package.sh: python3-corvexlink lacks '$field'"; exit 1; }
done
grep -Eq ' postinst( |$)' <<<"$pyinfo" && grep -Eq ' prerm( |$)' <<<"$pyinfo" \
  || { echo "package.sh: python3-corvexlink lacks its postinst or prerm"; exit 1; }
# Sphinx's scripts in the reference are Debian's (libjs-sphinxdoc), not copies.
grep -Eq '^ Depends: .*libjs-sphinxdoc' <<<"$pyinfo" || { echo "package.sh: python3-corvexlink lacks libjs-sphinxdoc"; exit 1; }
pylist=$(dpkg-deb -c "$build"/python3-corvexlink_*.deb)
grep -q 'html/_static/searchtools\.js -> \.\./\.\./\.\./\.\./javascript/sphinxdoc/1\.0/searchtools\.js$' <<<"$pylist" \
  || { echo "package.sh: the Python reference carries its own searchtools.js"; exit 1; }
if ls "$build"/corvexlink-demo_*.deb >/dev/null 2>&1; then
  expect corvexlink-demo 'bin/DemoCorvexLink$' 'applications/DemoCorvexLink\.desktop$' \
    'icons/.*corvexlink-demo\.svg$' 'share/doc/CorvexLink/reference/index\.html$' \
    'share/doc/CorvexLink/reference/group__corvexlink-port\.html$' 'man1/DemoCorvexLink\.1\.gz$'
  refuse corvexlink-demo '/bin/.*\.html$'
fi

echo "== lintian"
lintian --tag-display-limit 0 "${debs[@]}" || true

echo "== dpkg -i of the library, development and tools packages"
for p in libcorvexlink2 libcorvexlink-dev corvexlink-tools python3-corvexlink; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    echo "package.sh: $p is already installed on this machine; not touching it"; exit 1
  fi
done
installed=(python3-corvexlink corvexlink-tools libcorvexlink-dev libcorvexlink2)
$SUDO dpkg -i "$build"/libcorvexlink2_*.deb "$build"/libcorvexlink-dev_*.deb "$build"/corvexlink-tools_*.deb \
  "$build"/python3-corvexlink_*.deb
cc -o "$work/pkgconfig-consumer" tests/consumer/consumer.c $(pkg-config --cflags --libs corvexlink)
start_sim /usr/bin/kx4417-sim
CORVEXLINK_COM1="$work/com1" "$work/pkgconfig-consumer"
stop_sim
/usr/bin/python3 -c '
import ctypes
core = ctypes.CDLL("libCorvexLink.so.2")
assert core.ZelmarGetBaudRate() == 9600, "unexpected selected rate"
print("libCorvexLink.so.2 loads from the system library path")'
/usr/bin/python3 -c '
import importlib.metadata, sys, corvexlink
assert importlib.metadata.version("corvexlink") == corvexlink.__version__ == sys.argv[1], "version"
print("python3-corvexlink", corvexlink.__version__, "imports, finds its library and has its metadata")' "$version"
site=/usr/lib/python3/dist-packages
ls "$site"/corvexlink/__pycache__/*.pyc >/dev/null || { echo "package.sh: python3-corvexlink was not byte-compiled"; exit 1; }
# The simulator fixture comes from the package's pytest plugin, with no conftest.py.
mkdir "$work/plugin"
cat >"$work/plugin/test_plugin.py" <<'EOF'
import corvexlink


def test_scan(simulator):
    with corvexlink.open(port=simulator.port) as link:
        assert link.scan() == [0, 1, 2, 3]
EOF
(cd "$work/plugin" && env -u KX4417_SIM -u PYTHONPATH /usr/bin/python3 -m pytest -q -p no:cacheprovider test_plugin.py)
$SUDO dpkg --purge "${installed[@]}" >/dev/null
installed=()
for left in "$site"/corvexlink "$site"/corvexlink-*.dist-info /usr/share/doc/python3-corvexlink; do
  if [ -e "$left" ]; then echo "package.sh: $left is left after the purge"; find "$left"; exit 1; fi
done

echo "== udev rule"
$SUDO packaging/udev/check-rules.sh
echo "package.sh: all checks passed"
