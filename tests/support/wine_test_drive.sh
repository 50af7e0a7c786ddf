#!/bin/sh
# Maps or unmaps a drive letter of the Wine prefix in use ($WINEPREFIX, else ~/.wine) onto a
# folder, so that a Windows test can put the program on a drive of its own.
#   wine_test_drive.sh map LETTER FOLDER | unmap LETTER FOLDER
set -eu
action=$1
link=${WINEPREFIX:-$HOME/.wine}/dosdevices/$(printf %s "$2" | tr 'A-Z' 'a-z'):
folder=$3
case $action in
map)
    # A letter that already leads elsewhere belongs to someone else: leave it alone.
    if [ -L "$link" ] && [ "$(readlink "$link")" != "$folder" ]; then
        echo "$link already leads to $(readlink "$link")" >&2
        exit 1
    fi
    rm -rf "$folder"
    mkdir -p "$folder"
    ln -sfn "$folder" "$link"
    ;;
unmap)
    if [ -L "$link" ] && [ "$(readlink "$link")" = "$folder" ]; then
        rm -f "$link"
    fi
    rm -rf "$folder"
    ;;
*)
    echo "usage: $0 map|unmap LETTER FOLDER" >&2
    exit 2
    ;;
esac
