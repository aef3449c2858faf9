#!/usr/bin/env bash
# Builds the Debian package in build-package/ (Release, no tests, no
# benchmarks; ZENDRA_PACKAGE_BUILD names another Release build folder to
# package from, as the test command does with its own), validates the launcher and the AppStream data, installs the
# package with apt (which brings in its dependencies) and runs the installed
# program's --version. Prints a summary; exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
t0=$SECONDS
bash scripts/install-deps.sh --package

SUDO=()
if [[ $(id -u) -ne 0 ]]; then SUDO=(sudo); fi
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

BUILD=${ZENDRA_PACKAGE_BUILD:-build-package}
if [[ -z "${ZENDRA_PACKAGE_BUILD:-}" ]]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=OFF -DZENDRA_BENCH=OFF \
    "${launcher[@]}" >/dev/null
fi
cmake --build "$BUILD" --target zendra
t_build=$((SECONDS - t0))

echo "== desktop-file-validate data/zendra.desktop"
desktop-file-validate data/zendra.desktop
echo "== appstreamcli validate --no-net"
appstreamcli validate --no-net data/io.github.zendra.Zendra.metainfo.xml

echo "== cpack -G DEB"
rm -f "$BUILD"/zendra_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
deb=$(ls "$BUILD"/zendra_*.deb)
dpkg-deb --field "$deb" Package Version Section Maintainer Depends

# The sound libraries, never a sound server: the program must install and run
# where no PipeWire or JACK server is (it falls back to PulseAudio or ALSA).
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libpipewire-0.3-0 libjack; do
  [[ "$depends" == *"$lib"* ]] || { echo "the package does not depend on $lib" >&2; exit 1; }
done
for server in pipewire pipewire-pulse wireplumber jackd jackd2; do
  if grep -qE "(^|, )$server( |,|$)" <<<"$depends"; then echo "the package depends on the server $server" >&2; exit 1; fi
done

echo "== apt-get install ./$deb"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get install -y -qq --reinstall "./$deb" >/dev/null

version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/zendra --version)
expected="zendra $(sed -n 's/^project(Zendra VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[[ "$version" == "$expected" ]] || { echo "installed zendra --version said \"$version\", not \"$expected\"" >&2; exit 1; }

missing=0
for f in /usr/bin/zendra /usr/share/applications/zendra.desktop \
         /usr/share/metainfo/io.github.zendra.Zendra.metainfo.xml /usr/share/mime/packages/zendra-kit.xml \
         /usr/share/icons/hicolor/scalable/apps/zendra.svg /usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/zendra.png; do
  dpkg -L zendra | grep -qx "$f" || { echo "the package lacks $f" >&2; missing=1; }
done
((missing == 0))

echo "== package summary"
echo "package:   $deb ($(du -k "$deb" | cut -f1) kB)"
echo "depends:   $(dpkg-deb --field "$deb" Depends)"
echo "installed: /usr/bin/zendra --version: $version"
dpkg -L zendra | while read -r f; do if [[ -f "$f" ]]; then echo "  $f"; fi; done
echo "time:      ${t_build} s to build, $((SECONDS - t0)) s in all"
