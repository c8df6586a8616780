# Shared by the Windows scripts: where things are, and fetching Debian source packages.
KV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# Built dependencies live outside the source tree, one folder per version.
KV_WIN_CACHE="${KV_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kv-windows}"
mkdir -p "$KV_WIN_CACHE"

# fetch_source PACKAGE VERSION DEST: unpacks Debian's source package (patches applied) into DEST.
fetch_source()
{
    local package="$1" version="$2" dest="$3"
    local downloads="$KV_WIN_CACHE/src"
    mkdir -p "$downloads"
    if ! ls "$downloads/${package}_${version#*:}.dsc" > /dev/null 2>&1; then
        (cd "$downloads" && apt-get source --download-only "$package=$version" > /dev/null)
    fi
    rm -rf "$dest"
    dpkg-source --no-check -x "$downloads/${package}_${version#*:}.dsc" "$dest" > /dev/null
}

# Debian packages of the Windows build: the cross compiler, libjpeg-turbo's SIMD assembler,
# Wine, and what unpacks source packages.
install_windows_packages()
{
    "$KV_ROOT/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix mingw-w64-tools nasm \
        wine wine64 dpkg-dev
    # apt-get source needs a deb-src entry for the archive the binaries come from.
    if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
        local sudo_cmd=()
        [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
        "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/kv-deb-src.sources > /dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
        "${sudo_cmd[@]}" apt-get update -q
    fi
}
