#!/usr/bin/env bash
# Installs what is needed, builds, starts the bundled service simulator and the console against it.
# Without a display the console runs under Xvfb, signs in by itself, and a screenshot is saved.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
scripts/install-deps.sh
scripts/build.sh build
cmake --build build --target HVAgent hvsim hv_stage_data >/dev/null

STAGE=$ROOT/build/stage
DEMO=$ROOT/build/demo
rm -rf "$DEMO" && mkdir -p "$DEMO/program"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT INT TERM

# The simulator stops when this script ends (its stdin closes) or after 8 hours at most.
mkfifo "$DEMO/lifeline"
"$STAGE/hvsim" --exit-on-stdin-eof --lifetime 28800 --demo <"$DEMO/lifeline" >"$DEMO/hvsim.json" 2>"$DEMO/hvsim.log" &
pids+=($!)
exec 9>"$DEMO/lifeline"
for _ in $(seq 50); do [ -s "$DEMO/hvsim.json" ] && break; sleep 0.2; done
[ -s "$DEMO/hvsim.json" ] || { echo "The service simulator did not start; see $DEMO/hvsim.log" >&2; exit 1; }
PORT=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["http"])' "$DEMO/hvsim.json")
read -r DEMO_ID DEMO_PW < <(python3 -c 'import json,sys; d=json.load(open(sys.argv[1]))["demo"]; print(d["id"], d["password"])' "$DEMO/hvsim.json")

# A program folder of its own, so the demo's info.ini points at the simulator; the demo's
# settings, documents and sockets stay under build/demo and never touch the user's own.
for f in "$STAGE"/*; do
  case "$(basename "$f")" in info.ini) ;; *) ln -s "$f" "$DEMO/program/" ;; esac
done
cat >"$DEMO/program/info.ini" <<INI
[General]
autoUpdate=0
AgentReconnect=1

[AuthInfo]
AuthAddr=127.0.0.1
AuthPort=$PORT

[LOG]
LOGLEVEL=1
INI
export HV_PROGRAM_DIR="$DEMO/program" HV_CONFIG_DIR="$DEMO/config" HV_DOCUMENTS_DIR="$DEMO/documents" \
       HV_RUNTIME_DIR="$DEMO/runtime" HV_DESKTOP_DIR="$DEMO/desktop"

echo
echo "  Service simulator: http://127.0.0.1:$PORT/AuthWeb/"
echo "  Demo account:      ID \"$DEMO_ID\"   password \"$DEMO_PW\""
echo "  Developer log:     $DEMO/documents/Kestrix/Helvora/"
echo

args=()
if [ -z "${DISPLAY:-}" ]; then
  # No desktop: a virtual one, an unattended sign-in, and a screenshot of the signed-in console.
  export DISPLAY=:$((90 + RANDOM % 100))
  Xvfb "$DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  args+=("<AUTOLOGIN><ID>$DEMO_ID</ID><PASS>$DEMO_PW</PASS><MODE>0</MODE></AUTOLOGIN>")
  "$DEMO/program/HVAgent" "${args[@]}" &
  agent=$!
  pids+=($agent)
  sleep 10
  import -window root "$DEMO/screenshot.png" 2>/dev/null || true
  echo "  No display was found: the console ran under Xvfb ($DISPLAY) and signed in as $DEMO_ID."
  echo "  Screenshot: $DEMO/screenshot.png"
  exit 0
fi
"$DEMO/program/HVAgent" "${args[@]}"
