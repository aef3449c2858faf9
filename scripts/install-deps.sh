#!/usr/bin/env bash
# Installs the Debian packages Zendra needs. "--test" adds what the tests
# need, "--bench" also what the benchmarks compare against, "--fuzz" the
# fuzzing compiler, "--package" what builds and checks the Debian package.
set -euo pipefail

BUILD_PKGS=(cmake ninja-build g++ pkg-config qt6-base-dev libsdl2-dev libsndfile1-dev libvorbis-dev librtmidi-dev
            libjack-jackd2-dev libpipewire-0.3-dev libarchive-dev fonts-liberation)
TEST_PKGS=(libgtest-dev libgmock-dev libbenchmark-dev pulseaudio pulseaudio-utils sox xvfb xdotool
           x11-apps x11-utils imagemagick xauth libx11-dev libxtst-dev jackd2
           pipewire pipewire-pulse wireplumber python3)
# Only the side-by-side benchmarks use these; Debian's drum kits (about 220 MB)
# are what kit imports are tried on, a test that is skipped without them.
BENCH_PKGS=(libopenal-dev hydrogen-drumkits)
# Only the fuzzing build uses these.
FUZZ_PKGS=(clang libclang-rt-14-dev)
# Building, validating and installing the Debian package (librsvg2-bin
# renders the PNG icons from the SVG: scripts/render-icons.sh).
PACKAGE_PKGS=(desktop-file-utils appstream dpkg-dev file librsvg2-bin)

pkgs=("${BUILD_PKGS[@]}")
case "${1:-}" in
  --test) pkgs+=("${TEST_PKGS[@]}") ;;
  --bench) pkgs+=("${TEST_PKGS[@]}" "${BENCH_PKGS[@]}") ;;
  --fuzz) pkgs+=("${TEST_PKGS[@]}" "${FUZZ_PKGS[@]}") ;;
  --package) pkgs+=("${PACKAGE_PKGS[@]}") ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then exit 0; fi

SUDO=()
if [[ $(id -u) -ne 0 ]]; then SUDO=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
