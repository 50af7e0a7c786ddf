#!/usr/bin/env bash
# Fails when an include or a library link runs up the layers, or when libraries link in a circle.
# Bottom up: core/; serial/ and ftp/; session/ (the update session); app/ (the form) with its front
# ends app/qt and app/win32. A front end may use the libraries it adapts, nothing else does upward.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"

folders=(core serial ftp session app app/qt app/win32)

allowed() {  # folder -> the folders its files may include and its libraries may link
    case $1 in
        core) echo "core" ;;
        serial) echo "core serial" ;;
        ftp) echo "core ftp" ;;
        session) echo "core serial ftp session" ;;
        app) echo "core serial ftp session app" ;;
        app/qt | app/win32) echo "core serial ftp session app $1" ;;
    esac
}

status=0

# ---- Includes --------------------------------------------------------------------------------
for folder in "${folders[@]}"; do
    [ -d "$folder" ] || continue
    mapfile -t files < <(find "$folder" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \))
    for file in "${files[@]}"; do
        while IFS= read -r include; do
            target=${include%/*}
            ok=0
            for prefix in $(allowed "$folder"); do
                [ "$target" = "$prefix" ] && ok=1
            done
            if ((!ok)); then
                echo "$file includes \"$include\": above its layer"
                status=1
            fi
        done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    done
done

# ---- Library links ---------------------------------------------------------------------------
# Each library belongs to the folder whose CMakeLists.txt adds it; a link names the libraries
# after the target in target_link_libraries, which may run over several lines.
declare -A home=()
edges=()
for folder in "${folders[@]}"; do
    list=$folder/CMakeLists.txt
    [ -f "$list" ] || continue
    while read -r lib; do
        home[$lib]=$folder
    done < <(perl -0ne 'print "$1\n" while /add_library\(\s*([A-Za-z0-9_]+)/g' "$list")
done
for folder in "${folders[@]}"; do
    list=$folder/CMakeLists.txt
    [ -f "$list" ] || continue
    while read -r from to; do
        [ -n "${home[$from]:-}" ] && [ -n "${home[$to]:-}" ] || continue
        edges+=("$from $to")
        ok=0
        for allowedFolder in $(allowed "${home[$from]}"); do
            [ "${home[$to]}" = "$allowedFolder" ] && ok=1
        done
        if ((!ok)); then
            echo "$list: $from (${home[$from]}/) links $to (${home[$to]}/): above its layer"
            status=1
        fi
    done < <(perl -0ne 'while (/target_link_libraries\(\s*([A-Za-z0-9_]+)([^)]*)\)/g) {
                            my ($t, $args) = ($1, $2);
                            print "$t $_\n" for grep { $_ ne $t } ($args =~ /\b(vigie_[A-Za-z0-9_]+)/g);
                        }' "$list")
done
# A circle, within a layer too: tsort finds no order.
loops=$(mktemp)
if ((${#edges[@]})) && ! printf '%s\n' "${edges[@]}" | tsort >/dev/null 2>"$loops"; then
    echo "libraries link in a circle:"
    sed 's/^/  /' "$loops"
    status=1
fi
rm -f "$loops"

((status == 0)) && echo "layers: no include or link runs upward, no circle (${#edges[@]} links)"
exit $status
