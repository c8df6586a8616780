# Sourced by the scripts that run Wine: the prefix (WINEPREFIX, default one of its own in the
# Windows dependency cache), quiet logs, and the MinGW runtime's DLLs (and KV_WIN_DLL_PATH, where
# Qt's are) on WINEPATH.
kv_wine_cache="${KV_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kv-windows}"
export WINEPREFIX="${WINEPREFIX:-$kv_wine_cache/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No prompts to install Mono or Gecko when the prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

kv_wine_dlls="/usr/lib/gcc/x86_64-w64-mingw32/12-posix;/usr/x86_64-w64-mingw32/lib"
if [ -n "${KV_WIN_DLL_PATH:-}" ]; then
    kv_wine_dlls="$KV_WIN_DLL_PATH;$kv_wine_dlls"
fi
# Wine maps / to Z:.
export WINEPATH="Z:${kv_wine_dlls//;/;Z:}"
export WINEPATH="${WINEPATH//\//\\}"

# Wine's 64-bit loader, without address-space randomisation. Debian's wine64 has no preloader to
# keep Windows' fixed addresses free, so now and then a library lands on the page where the
# shared user data belongs (0x7ffe0000) and the program dies before its first line, silently
# under WINEDEBUG=-all ("failed to map the shared user data: c0000018").
kv_wine=(setarch "$(uname -m)" -R /usr/lib/wine/wine64)
