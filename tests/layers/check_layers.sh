#!/usr/bin/env bash
# Fails when an include runs up the layers. Bottom up: core/; serial/ and ftp/; app/ (the form)
# with its front ends; session/. A front end may use the libraries it adapts, nothing else does
# upward.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"

allowed() {  # folder -> the include prefixes its files may use
    case $1 in
        core) echo "core" ;;
        serial) echo "core serial" ;;
        ftp) echo "core ftp" ;;
        app) echo "core serial ftp app" ;;
        app/qt | app/win32) echo "core serial ftp app $1" ;;
        session) echo "core serial ftp app session" ;;
    esac
}

status=0
for folder in core serial ftp app app/qt app/win32 session; do
    [ -d "$folder" ] || continue
    depth=(-maxdepth 1)
    mapfile -t files < <(find "$folder" "${depth[@]}" -type f \( -name '*.h' -o -name '*.cpp' \))
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
((status == 0)) && echo "layers: no include runs upward"
exit $status
