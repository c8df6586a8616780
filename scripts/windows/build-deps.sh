#!/usr/bin/env bash
# Builds the Windows libraries the programs link, each once per version into the Windows
# dependency cache: libjpeg-turbo (static, with its SIMD) and libarchive (static, gzip and tar
# through the zlib of libz-mingw-w64-dev, for the mod installer) from Debian's source packages,
# and GoogleTest from the source that libgtest-dev ships. Prints the install prefixes, one a line.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/common.sh"

toolchain="$KV_ROOT/cmake/mingw-w64-x86_64.cmake"

# build_with_cmake NAME SOURCE PREFIX [CMAKE ARGS...]
build_with_cmake()
{
    local name="$1" source="$2" prefix="$3"
    shift 3
    local build="$KV_WIN_CACHE/work/$name-build"
    rm -rf "$build"
    if ! { cmake -G Ninja -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
               -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@" &&
           cmake --build "$build" --parallel "$(nproc)" &&
           cmake --install "$build"; } > "$KV_WIN_CACHE/work/$name.log" 2>&1; then
        tail -30 "$KV_WIN_CACHE/work/$name.log" >&2
        echo "building $name for Windows failed; the whole log: $KV_WIN_CACHE/work/$name.log" >&2
        exit 1
    fi
    rm -rf "$build"
    touch "$prefix/.complete"
}

mkdir -p "$KV_WIN_CACHE/work"

jpeg_version="$(dpkg-query -W -f='${Version}' libjpeg62-turbo-dev)"
jpeg_prefix="$KV_WIN_CACHE/libjpeg-turbo-${jpeg_version#*:}"
if [ ! -f "$jpeg_prefix/.complete" ]; then
    source_dir="$KV_WIN_CACHE/work/libjpeg-turbo-src"
    fetch_source libjpeg-turbo "$jpeg_version" "$source_dir"
    build_with_cmake libjpeg-turbo "$source_dir" "$jpeg_prefix" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF
    rm -rf "$source_dir"
fi
echo "$jpeg_prefix"

archive_version="$(dpkg-query -W -f='${Version}' libarchive-dev)"
archive_prefix="$KV_WIN_CACHE/libarchive-${archive_version#*:}"
if [ ! -f "$archive_prefix/.complete" ]; then
    source_dir="$KV_WIN_CACHE/work/libarchive-src"
    fetch_source libarchive "$archive_version" "$source_dir"
    # Only what reads a .tgz: every other compressor, crypto and the command-line tools left out.
    # The static zlib, so that no zlib1.dll has to travel with the programs.
    build_with_cmake libarchive "$source_dir" "$archive_prefix" \
        -DBUILD_SHARED_LIBS=OFF -DENABLE_ZLIB=ON \
        -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
        -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
        -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_CNG=OFF \
        -DENABLE_LIBB2=OFF -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
        -DENABLE_BZip2=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_PCREPOSIX=OFF \
        -DENABLE_ICONV=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF -DENABLE_TAR=OFF \
        -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_TEST=OFF -DENABLE_WERROR=OFF
    rm -rf "$source_dir"
fi
echo "$archive_prefix"

gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
gtest_prefix="$KV_WIN_CACHE/googletest-$gtest_version"
if [ ! -f "$gtest_prefix/.complete" ]; then
    build_with_cmake googletest /usr/src/googletest "$gtest_prefix" -DBUILD_GMOCK=ON \
        -Dgtest_disable_pthreads=OFF
fi
echo "$gtest_prefix"
