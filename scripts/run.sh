#!/usr/bin/env bash
# Installs what is missing, builds, and starts the updater on a demo: the K7 simulator plays the
# device on COM1 and a local FTP server plays the update server, so that a whole update can be
# watched on a machine without a device. Both stop when the window closes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
"$root/scripts/setup.sh" "$build"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found. Run the demo in a graphical session, or under a virtual display:" >&2
    echo "    xvfb-run -a $0" >&2
    exit 1
fi

demo=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$demo"
}
trap cleanup EXIT
trap "exit 130" INT TERM
mkdir -p "$demo/com"

# The update server: the sample databases, for the simulator's user name and its password.
/usr/bin/python3 "$root/tests/ftp/ftp_server.py" --root "$root/tools/demo" \
    --user DEMO123:321OMED >"$demo/ftp.out" 2>"$demo/ftp.log" &
pids+=($!)
for _ in $(seq 100); do grep -q '^PORT ' "$demo/ftp.out" 2>/dev/null && break; sleep 0.1; done
ftp_port=$(awk '/^PORT /{print $2; exit}' "$demo/ftp.out")
[ -n "$ftp_port" ] || { echo "The demo FTP server did not start:" >&2; cat "$demo/ftp.log" >&2; exit 1; }

# The device: answers every session, and reports the end of saving after 3 seconds.
"$build/bin/k7sim" --link "$demo/com/COM1" --name demo123 --end-delay 3 --loop \
    >"$demo/k7sim.out" 2> >(sed 's/^/[K7] /' >&2) &
pids+=($!)
for _ in $(seq 100); do [ -e "$demo/com/COM1" ] && break; sleep 0.1; done

echo "Demo: device on COM1, update server on 127.0.0.1:$ftp_port. Choose COM1 and press Start Update."
VIGIE_COM_DIR="$demo/com" VIGIE_UPDATE_SERVER="127.0.0.1:$ftp_port" "$build/bin/vigie-k7"
