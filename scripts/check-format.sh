#!/usr/bin/env bash
# Checks that the C++ files a change touches are formatted as .clang-format says. Old code is
# reformatted only when it is touched, so only the files changed since BASE are checked: by
# default the merge base of HEAD and origin/main, or, where HEAD is origin/main itself (CI on a
# clone of main), the first commit under this rule, so that every file touched since stays
# formatted. A clone without that history checks every file.
#   scripts/check-format.sh [BASE]      # FIX=1 reformats the files instead of failing
set -euo pipefail
cd "$(dirname "$0")/.."
rule_start=c507137034dd86f348050bb62795a1587646ba40

base="${1:-}"
if [ -z "$base" ]; then
    upstream="$(git rev-parse -q --verify origin/main || true)"
    if [ -n "$upstream" ] && [ "$(git rev-parse HEAD)" != "$upstream" ]; then
        base="$(git merge-base HEAD "$upstream")"
    elif git cat-file -e "$rule_start^{commit}" 2>/dev/null; then
        base="$(git merge-base HEAD "$rule_start")"
    fi
fi

if [ -n "$base" ]; then
    mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' '*.h')
    echo "clang-format: ${#files[@]} C++ files changed since ${base:0:12}"
else
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
    echo "clang-format: no base in this clone's history, checking all ${#files[@]} C++ files"
fi
[ "${#files[@]}" -gt 0 ] || exit 0

if [ "${FIX:-0}" = 1 ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
failed=()
for file in "${files[@]}"; do
    clang-format --dry-run -Werror "$file" > /dev/null 2>&1 || failed+=("$file")
done
if [ "${#failed[@]}" -gt 0 ]; then
    echo "not formatted as .clang-format says (FIX=1 scripts/check-format.sh reformats them):" >&2
    printf '  %s\n' "${failed[@]}" >&2
    exit 1
fi
