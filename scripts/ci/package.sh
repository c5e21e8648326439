#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks CorvexLink as an installed product:
#   1. an install tree whose core library links no Qt;
#   2. a program outside the tree (tests/consumer) built with find_package(CorvexLink)
#      against that tree, run against the simulator;
#   3. the Debian packages: built with CPack; their contents, control data (a synopsis of
#      their own, Multi-Arch, shlibs and symbols, Homepage, Maintainer, the copyright file)
#      and lintian at --pedantic, which must list nothing that is not overridden;
#   4. a headless install of the library and Python packages draws in no Qt (apt's plan);
#   5. the packages installed with dpkg: a program built with pkg-config and the installed
#      C examples run against the installed simulator, the Python example too, the Python
#      package has its metadata, is byte-compiled and its pytest plugin gives the simulator
#      fixture, man 3 PortOpen shows that function's page, the udev rule and the examples are in place; purged
#      again, they leave no file behind;
#   6. the udev rule for serial adapters (packaging/udev/check-rules.sh).
# Needs root (or sudo) for steps 5 and 6.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=build/package
work=$(mktemp -d)
sim=""
installed=()
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  if [ ${#installed[@]} -gt 0 ]; then $SUDO dpkg --purge "${installed[@]}" >/dev/null || true; fi
  rm -rf "$work"
}
fail() { echo "package.sh: $*" >&2; exit 1; }
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
expect libcorvexlink2 'lib/.*/libCorvexLink\.so\.2$' 'lib/.*/libCorvexLink\.so\.2\.' 'doc/libcorvexlink2/copyright' \
  'doc/libcorvexlink2/changelog\.gz$'
refuse libcorvexlink2 'include/|\.a$|libCorvexLink\.so$|qt'
# The loader's cache is refreshed by the triggers file, not by maintainer scripts.
control=$(dpkg-deb --info "$build"/libcorvexlink2_*.deb | grep -E '^ +[0-9]+ bytes,')
grep -Eq ' triggers( |$)' <<<"$control" || fail "libcorvexlink2 has no triggers file"
if grep -Eq ' (postinst|postrm)( |$)' <<<"$control"; then fail "libcorvexlink2 has maintainer scripts"; fi
expect libcorvexlink-dev 'include/CorvexLink\.h$' 'include/CorvexLinkVersion\.h$' 'pkgconfig/corvexlink\.pc$' \
  'cmake/CorvexLink/CorvexLinkConfig\.cmake$' 'cmake/CorvexLink/CorvexLinkConfigVersion\.cmake$' \
  'cmake/CorvexLink/CorvexLinkTargets\.cmake$' 'libCorvexLink\.so$' \
  'man3/corvexlink\.3\.gz$' 'man3/corvexlink-port\.3\.gz$' 'man3/corvexlink-fifo\.3\.gz$' 'man3/PortOpen\.3\.gz$' \
  'doc/libcorvexlink-dev/examples/scan\.c$' 'doc/libcorvexlink-dev/examples/Makefile$'
refuse libcorvexlink-dev 'man3/[^/]*\.3$|man3/(device|port|usb)\.3\.gz$'
refuse libcorvexlink-dev '\.a$|libCorvexLink\.so\.2|\.html$'
expect corvexlink-tools 'bin/kx4417-sim$' 'bin/corvexctl$' 'man1/kx4417-sim\.1\.gz$' 'man1/corvexctl\.1\.gz$' \
  '^\./usr/lib/udev/rules\.d/60-corvexlink-serial\.rules$' 'doc/corvexlink-tools/examples/ports\.conf$'
expect python3-corvexlink 'dist-packages/corvexlink/__init__\.py$' 'dist-packages/corvexlink/py\.typed$' \
  'dist-packages/corvexlink-[0-9.]+\.dist-info/METADATA$' 'dist-packages/corvexlink-[0-9.]+\.dist-info/entry_points\.txt$' \
  'doc/python3-corvexlink/html/index\.html$' 'doc/python3-corvexlink/examples/scan_and_move\.py$'
refuse python3-corvexlink '__pycache__|\.pyc$|libCorvexLink|/RECORD$|jquery'
pyinfo=$(dpkg-deb --info "$build"/python3-corvexlink_*.deb)
for field in 'Depends: .*python3:any' 'Depends: .*libcorvexlink2' 'Recommends: corvexlink-tools' 'Architecture: all'; do
  grep -Eq "^ $field" <<<"$pyinfo" || fail "python3-corvexlink lacks '$field'"
done
grep -Eq ' postinst( |$)' <<<"$pyinfo" && grep -Eq ' prerm( |$)' <<<"$pyinfo" \
  || fail "python3-corvexlink lacks its postinst or prerm"
# Sphinx's scripts in the reference are Debian's (libjs-sphinxdoc), not copies.
grep -Eq '^ Depends: .*libjs-sphinxdoc' <<<"$pyinfo" || fail "python3-corvexlink lacks libjs-sphinxdoc"
pylist=$(dpkg-deb -c "$build"/python3-corvexlink_*.deb)
grep -q 'html/_static/searchtools\.js -> \.\./\.\./\.\./\.\./javascript/sphinxdoc/1\.0/searchtools\.js$' <<<"$pylist" \
  || fail "the Python reference carries its own searchtools.js"
expect libcorvexlink-doc 'doc/libcorvexlink-doc/reference/index\.html$' \
  'doc/libcorvexlink-doc/reference/group__corvexlink-port\.html$' 'doc-base/libcorvexlink-doc\.'
if ls "$build"/corvexlink-tango_*.deb >/dev/null 2>&1; then
  expect corvexlink-tango 'bin/corvexlink-tango$' 'man1/corvexlink-tango\.1\.gz$' \
    'doc/corvexlink-tango/examples/corvexlink-tango\.db$'
fi
if ls "$build"/corvexlink-web_*.deb >/dev/null 2>&1; then
  expect corvexlink-web 'bin/corvexlink-web$' 'man1/corvexlink-web\.1\.gz$' \
    'share/corvexlink-web/www/index\.html$' 'share/corvexlink-web/www/app\.js$' \
    'share/corvexlink-web/www/openapi\.json$' '^\./usr/lib/systemd/system/corvexlink-web\.service$' \
    'doc/corvexlink-web/examples/nginx-corvexlink-web\.conf$' 'doc/corvexlink-web/examples/web\.conf$'
  # Chart.js is Debian's, not a copy.
  refuse corvexlink-web 'chart(\.min)?\.js$'
  webinfo=$(dpkg-deb --field "$build"/corvexlink-web_*.deb Depends)
  for dep in libjs-chart.js libcivetweb libcorvexlink2; do
    grep -q "$dep" <<<"$webinfo" || fail "corvexlink-web does not depend on $dep ($webinfo)"
  done
fi
if ls "$build"/corvexlink-demo_*.deb >/dev/null 2>&1; then
  expect libcorvexlink2-qt 'lib/.*/corvexlink/corvexlink-qt-ui\.so$'
  expect corvexlink-demo 'bin/DemoCorvexLink$' 'applications/DemoCorvexLink\.desktop$' \
    'icons/.*corvexlink-demo\.svg$' 'man1/DemoCorvexLink\.1\.gz$'
  refuse corvexlink-demo '\.html$'
fi

echo "== control data"
field() { dpkg-deb --field "$1" "$2"; }  # field <deb> <name>
synopses=""
for deb in "${debs[@]}"; do
  name=$(field "$deb" Package)
  synopsis=$(field "$deb" Description)
  synopsis=${synopsis%%$'\n'*}
  printf '  %-20s %s\n' "$name" "$synopsis"
  synopses+="$synopsis"$'\n'
  for f in Maintainer Homepage; do [ -n "$(field "$deb" "$f")" ] || fail "$name has no $f"; done
  # The long description: every line indented by one space, no line that is only blanks.
  long=$(dpkg-deb --info "$deb" | sed -n '/^ Description:/,/^ [A-Z][A-Za-z-]*:/p' | sed '1d;$d')
  [ -n "$long" ] || fail "$name has no long description"
  if grep -Evq '^  [^ ]' <<<"$long"; then fail "$name: a line of the long description is badly indented"; fi
  dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$name/copyright" >"$work/copyright" \
    || fail "$name has no copyright file"
  grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' "$work/copyright" \
    || fail "$name: the copyright file is not machine-readable"
  grep -q '^Files: \*$' "$work/copyright" || fail "$name: the copyright file covers no files"
done
[ -z "$(sort <<<"$synopses" | uniq -d)" ] || fail "packages share a synopsis"
grep -q corvexctl <<<"$(field "$build"/corvexlink-tools_*.deb Description)" || fail "corvexlink-tools does not mention corvexctl"
for p in libcorvexlink2 libcorvexlink2-qt libcorvexlink-dev; do
  ls "$build/${p}"_*.deb >/dev/null 2>&1 || continue
  [ "$(field "$build/${p}"_*.deb Multi-Arch)" = same ] || fail "$p is not Multi-Arch: same"
done
if grep -qi qt <<<"$(field "$build"/libcorvexlink2_*.deb Recommends)"; then fail "libcorvexlink2 recommends Qt"; fi
dpkg-deb --ctrl-tarfile "$build"/libcorvexlink2_*.deb | tar -xO ./shlibs >"$work/shlibs"
major=${version%%.*}
minor=${version#*.}; minor=${minor%%.*}
[ "$(cat "$work/shlibs")" = "libCorvexLink $major libcorvexlink2 (>= $major.$minor)" ] \
  || fail "shlibs is '$(cat "$work/shlibs")'"
# The symbols file names exactly the library's exports.
dpkg-deb --ctrl-tarfile "$build"/libcorvexlink2_*.deb | tar -xO ./symbols >"$work/symbols"
diff <(sed -n 's/^ \([^@ ]*\)@Base .*/\1/p' "$work/symbols" | LC_ALL=C sort) \
     <(nm -D --defined-only "$build"/library/libCorvexLink.so.2 | awk '{print $3}' | LC_ALL=C sort) \
  || fail "the symbols file and the library's exports differ (< file, > library)"
echo "control data: one synopsis per package, Multi-Arch, shlibs, symbols, copyright"

echo "== lintian --pedantic"
lintian --pedantic --display-info --tag-display-limit 0 "${debs[@]}" 2>/dev/null | tee "$work/lintian"
if grep -Eq '^[EWIPX]: ' "$work/lintian"; then fail "lintian lists the findings above"; fi
echo "lintian: nothing listed"

echo "== headless install"
# apt's plan for the library and Python packages on a machine that has nothing installed
# (an empty package status), Recommends included as apt installs them by default.
[ -n "$(ls /var/lib/apt/lists/*Packages 2>/dev/null)" ] || $SUDO apt-get update -qq
: >"$work/empty-status"
plan=$(apt-get install --simulate -o Dir::State::status="$work/empty-status" -o APT::Install-Recommends=true \
  "$root/$build"/libcorvexlink2_*.deb "$root/$build"/python3-corvexlink_*.deb 2>&1) \
  || { echo "$plan"; fail "apt cannot plan the headless install"; }
grep -c '^Inst ' <<<"$plan" | sed 's/^/packages in the plan: /'
if grep -E '^Inst ' <<<"$plan" | grep -Ei 'qt|libx11|libgl'; then fail "a headless install draws in the packages above"; fi

echo "== dpkg -i of the library, development, tools and Python packages"
packages=(libcorvexlink2 libcorvexlink-dev corvexlink-tools python3-corvexlink)
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    fail "$p is already installed on this machine; not touching it"
  fi
done
# What the machine holds of CorvexLink before: purging must come back to it.
on_disk() { find /usr /etc /var/lib/dpkg/info -xdev -ipath '*corvex*' 2>/dev/null | LC_ALL=C sort; }
on_disk >"$work/before"
installed=(python3-corvexlink corvexlink-tools libcorvexlink-dev libcorvexlink2)
$SUDO dpkg -i "$build"/libcorvexlink2_*.deb "$build"/libcorvexlink-dev_*.deb "$build"/corvexlink-tools_*.deb \
  "$build"/python3-corvexlink_*.deb
cc -o "$work/pkgconfig-consumer" tests/consumer/consumer.c $(pkg-config --cflags --libs corvexlink)
cp -r /usr/share/doc/libcorvexlink-dev/examples "$work/examples"
make -s -C "$work/examples"
start_sim /usr/bin/kx4417-sim
CORVEXLINK_COM1="$work/com1" "$work/pkgconfig-consumer"
CORVEXLINK_COM1="$work/com1" "$work/examples/corvexlink-scan"
CORVEXLINK_COM1="$work/com1" /usr/bin/python3 /usr/share/doc/python3-corvexlink/examples/scan_and_move.py
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
ls "$site"/corvexlink/__pycache__/*.pyc >/dev/null || fail "python3-corvexlink was not byte-compiled"
# The simulator fixture comes from the package's pytest plugin, with no conftest.py.
mkdir "$work/plugin"
cat >"$work/plugin/test_plugin.py" <<'EOF'
import corvexlink


def test_scan(simulator):
    with corvexlink.open(simulator.device) as link:
        assert link.scan() == [0, 1, 2, 3]
EOF
(cd "$work/plugin" && env -u KX4417_SIM -u PYTHONPATH /usr/bin/python3 -m pytest -q -p no:cacheprovider test_plugin.py)
# man 3 PortOpen is the function's own page, not its family's.
page=$(man -w 3 PortOpen)
[ "$(readlink -f "$page")" = "$page" ] || fail "man 3 PortOpen is a link to $(readlink -f "$page")"
MANWIDTH=80 man 3 PortOpen 2>/dev/null >"$work/PortOpen.txt"
grep -Eq '^ +PortOpen - ' "$work/PortOpen.txt" || fail "man 3 PortOpen has no NAME line of its own"
grep -q '#include <CorvexLink.h>' "$work/PortOpen.txt" || fail "man 3 PortOpen shows no include line"
grep -q 'corvexlink-port(3)' "$work/PortOpen.txt" || fail "man 3 PortOpen does not refer to its family"
if grep -q 'PortClose (void)' "$work/PortOpen.txt"; then fail "man 3 PortOpen shows other functions"; fi
echo "man 3 PortOpen: its own page"
for f in /usr/lib/udev/rules.d/60-corvexlink-serial.rules /usr/share/doc/corvexlink-tools/examples/ports.conf; do
  [ -f "$f" ] || fail "$f is not installed"
done
if ls "$build"/corvexlink-web_*.deb >/dev/null 2>&1; then
  # The installed service serves its page, Debian's Chart.js and the API against the
  # installed simulator.
  installed=(corvexlink-web "${installed[@]}")
  $SUDO dpkg -i "$build"/corvexlink-web_*.deb
  token=$(corvexlink-web token add ci operator --tokens "$work/tokens")
  start_sim /usr/bin/kx4417-sim
  corvexlink-web --line "a=$work/com1" --tokens "$work/tokens" --listen 127.0.0.1:0 >"$work/web.log" 2>&1 &
  webpid=$!
  for _ in $(seq 100); do grep -qs 'stations' "$work/web.log" && break; sleep 0.1; done
  port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\).*|\1|p' "$work/web.log")
  curl -fsS "http://127.0.0.1:$port/" | grep -q 'STOP ALL' || fail "the installed service serves no page"
  curl -fsS -o /dev/null "http://127.0.0.1:$port/chart.min.js" || fail "the installed service serves no Chart.js"
  curl -fsS -H "Authorization: Bearer $token" "http://127.0.0.1:$port/api/v1/lines" | grep -q '"stations":\[0,1,2,3\]' \
    || { cat "$work/web.log"; fail "the installed service does not serve the line"; }
  kill "$webpid"; wait "$webpid" || fail "the installed service did not end cleanly"
  stop_sim
  man -w corvexlink-web >/dev/null || fail "man corvexlink-web finds no page"
  echo "corvexlink-web: installed, serves its page, Chart.js and the simulated line"
fi
$SUDO dpkg --purge "${installed[@]}" >/dev/null
installed=()
on_disk >"$work/after"
diff "$work/before" "$work/after" || fail "purging the packages left the files above"
echo "purge: nothing left behind"

echo "== udev rule"
$SUDO packaging/udev/check-rules.sh
echo "package.sh: all checks passed"
