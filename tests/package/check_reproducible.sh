#!/usr/bin/env bash
# Builds the Debian package of the source tree's last commit twice, from two clones in
# different folders, one after the other, in different time zones, and checks that the two
# packages are the same to the bit. diffoscope, where it is installed, shows what differs.
#
#   check_reproducible.sh SOURCE_DIR SCRATCH_DIR QT_MAJOR CXX_COMPILER
set -uo pipefail

source=$1 work=$2 qt=$3 cxx=$4
skipped=77

if ! command -v git >/dev/null || ! commit=$(git -C "$source" rev-parse --verify -q HEAD); then
    echo "SKIP: $source is not a git checkout; there is no commit to build twice"
    exit $skipped
fi
if [ -n "$(git -C "$source" status --porcelain --untracked-files=no)" ]; then
    echo "note: uncommitted changes in $source are not part of commit $commit, which is built here"
fi

rm -rf "$work"
mkdir -p "$work"

# build NAME FOLDER TZ: clones, builds only what the package holds and packages it.
build()
{
    local name=$1 tree=$work/$2 zone=$3
    echo "build $name: $tree"
    git clone --quiet "$source" "$tree" && git -C "$tree" checkout --quiet --detach "$commit" || return 1
    (
        export TZ=$zone
        cmake -S "$tree" -B "$tree/build-$name" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_CXX_COMPILER="$cxx" -DQT_VERSION_MAJOR="$qt" -DBUILD_TESTING=OFF \
            -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON &&
            cmake --build "$tree/build-$name" -j"$(nproc)" \
                --target serialterminal desktop_icons compressed_docs &&
            cpack -G DEB --config "$tree/build-$name/CPackConfig.cmake" -B "$work/$name"
    ) >"$work/$name.log" 2>&1 || { cat "$work/$name.log"; return 1; }
    debs=("$work/$name"/*.deb)
    [ -f "${debs[0]}" ] || { echo "FAIL: build $name made no .deb"; return 1; }
}

build first one/serialterminal UTC || { echo "FAIL: the first build failed"; exit 1; }
build second two/somewhere/else/src Asia/Shanghai || { echo "FAIL: the second build failed"; exit 1; }

first=("$work"/first/*.deb)
second=("$work"/second/*.deb)
sha256sum "${first[0]}" "${second[0]}"
if cmp -s "${first[0]}" "${second[0]}"; then
    echo "ok: two builds of $commit give the same package"
    exit 0
fi
echo "FAIL: two builds of $commit give different packages"
if command -v diffoscope >/dev/null; then
    diffoscope --text - "${first[0]}" "${second[0]}" | head -n 200
else
    echo "(install diffoscope-minimal to see what differs)"
    diff <(dpkg-deb -c "${first[0]}") <(dpkg-deb -c "${second[0]}")
fi
exit 1
