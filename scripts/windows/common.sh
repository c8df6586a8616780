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
        ensure_source_entries "$package" "$version"
        (cd "$downloads" && apt-get source --download-only "$package=$version" > /dev/null)
    fi
    rm -rf "$dest"
    dpkg-source --no-check -x "$downloads/${package}_${version#*:}.dsc" "$dest" > /dev/null
}

# The machine's own binary entries as deb-src entries: the same archives, suites, components and
# keys its packages come from. FORMAT is "list" (one-line entries) or "sources" (deb822 stanzas);
# the entries this script wrote before are left out.
derived_source_entries()
{
    local format="$1" file
    shopt -s nullglob
    if [ "$format" = list ]; then
        for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ "$file" = "$kv_source_entries.list" ] || [ ! -f "$file" ] ||
                sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file"
        done
    else
        for file in /etc/apt/sources.list.d/*.sources; do
            [ "$file" = "$kv_source_entries.sources" ] && continue
            # One stanza a record; field names are case-insensitive, lines starting with a blank
            # continue the field before them.
            awk 'BEGIN { RS = ""; FS = "\n" }
                 {
                     binary = 0; source = 0; enabled = 1; out = ""
                     for (i = 1; i <= NF; i++) {
                         line = $i
                         if (tolower(line) ~ /^types:/) {
                             n = split(substr(line, 7), types, /[ \t]+/)
                             for (t = 1; t <= n; t++) {
                                 if (types[t] == "deb") binary = 1
                                 if (types[t] == "deb-src") source = 1
                             }
                             line = "Types: deb-src"
                         } else if (tolower(line) ~ /^enabled:[ \t]*no/) {
                             enabled = 0
                         }
                         if (line !~ /^#/) out = out line "\n"
                     }
                     if (binary && !source && enabled) printf "%s\n", out
                 }' "$file"
        done
    fi
    shopt -u nullglob
}
kv_source_entries=/etc/apt/sources.list.d/kv-deb-src

# source_known PACKAGE VERSION: whether apt knows that version of the source package.
source_known()
{
    apt-cache showsrc --only-source "$1" 2> /dev/null | grep -qx "Version: $2"
}

# ensure_source_entries PACKAGE VERSION: makes sure apt knows the source package, adding deb-src
# entries derived from the machine's own deb entries when it does not.
ensure_source_entries()
{
    local package="$1" version="$2"
    source_known "$package" "$version" && return 0
    local sudo_cmd=() format
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    for format in list sources; do
        local entries
        entries="$(derived_source_entries "$format")"
        if [ -n "$entries" ]; then
            printf '%s\n' "$entries" | "${sudo_cmd[@]}" tee "$kv_source_entries.$format" > /dev/null
        else
            "${sudo_cmd[@]}" rm -f "$kv_source_entries.$format"
        fi
    done
    "${sudo_cmd[@]}" apt-get update -q > /dev/null
    if ! source_known "$package" "$version"; then
        echo "apt finds no source package $package $version in the archives this machine uses" \
            "(its deb entries, as deb-src entries in $kv_source_entries.*)" >&2
        exit 1
    fi
}

# Debian packages of the Windows build: the cross compiler, libjpeg-turbo's SIMD assembler,
# zlib for libarchive, Wine, and what unpacks source packages.
install_windows_packages()
{
    "$KV_ROOT/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix mingw-w64-tools nasm \
        libz-mingw-w64-dev wine wine64 dpkg-dev
}
