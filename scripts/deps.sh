#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the scripts need; installs nothing
# when all are present. Safe to run again.
set -euo pipefail

# The one list of what the project needs from Debian.
PACKAGES=(
    cmake ninja-build g++ g++-multilib    # build; -m32 for the i386 preset
    g++-mingw-w64-i686 binutils-mingw-w64-i686   # win32 preset, export check of pexil.p
    qemu-user                             # runs the i386 tests
    googletest libgtest-dev               # GoogleTest sources (built per target)
    libbenchmark-dev libcli11-dev libpng-dev libopenexr-dev pkg-config
    clang-14 libclang-rt-14-dev           # fuzz preset: libFuzzer and clang's sanitizer runtimes
)

installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]
}

missing=()
for p in "${PACKAGES[@]}"; do
    installed "$p" || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "deps: all ${#PACKAGES[@]} packages present"
    exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "deps: not root and no sudo; install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi

echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y "${missing[@]}"

still=()
for p in "${missing[@]}"; do
    installed "$p" || still+=("$p")
done
if [[ ${#still[@]} -gt 0 ]]; then
    echo "deps: still missing after apt-get install: ${still[*]}" >&2
    exit 1
fi
echo "deps: done"
