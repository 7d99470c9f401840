#!/bin/bash
# CPU and wake-ups of `pelmora-cli play` against MPD on the same streams, side by
# side in one run: FLAC 16/44.1, FLAC 24/192, DSF DSD128 (DoP and native), DSF
# DSD256 (DoP), and pelmora-cli paused. Each process is measured over a window
# (WINDOW seconds, default 15, best of 2): CPU from a cpuacct control group of its
# own (as root; else from its clock ticks), which keeps the time of threads that
# have ended; wake-ups from the context switches of its threads. pelmora-cli plays on a virtual device paced like
# hardware, without a capture file; MPD (when installed: Debian's mpd and mpc; this
# script installs nothing) on its null output with sync.
# usage: bench/compare_players.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/ci-normal}
window=${WINDOW:-15}
cli=$(realpath "$build/cli/pelmora-cli")
tone=$(realpath "$build/tools/dsd-tone")
work=$(mktemp -d)
cleanup() {
  kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"
  for g in "$cpuacct/pelmora-bench-$$-"*; do rmdir "$g" 2>/dev/null || true; done
}
trap cleanup EXIT
length=$((window * 2 + 20))
tck=$(getconf CLK_TCK)

echo "Making the streams ($length s each)..."
sox -q -D -n -r 44100 -b 16 -c 2 "$work/cd.wav" synth $length sine 441 whitenoise vol 0.5 && flac -s -f -o "$work/flac-16-44.flac" "$work/cd.wav"
sox -q -D -n -r 192000 -b 24 -c 2 "$work/hr.wav" synth $length sine 441 whitenoise vol 0.5 && flac -s -f -o "$work/flac-24-192.flac" "$work/hr.wav"
rm -f "$work"/*.wav
"$tone" "$work/dsd128.dsf" $length 440 128
"$tone" "$work/dsd256.dsf" $length 440 256

cat > "$work/devices.json" <<JSON
{"devices":[{"name":"Bench DAC","formats":[{"rate":0,"bits":24,"bytes":4,"channels":2,"non_mixable":false,"dsd":false,"min_rate":44100,"max_rate":768000},{"rate":0,"bits":32,"bytes":4,"channels":2,"non_mixable":true,"dsd":true,"min_rate":88200,"max_rate":705600}],"clock":"realtime","capture":""}]}
JSON

# CPU nanoseconds of a process, all its threads, ended ones included: from a cpuacct
# control group of its own where one can be made (as root), else from its clock
# ticks (a tick is 1/CLK_TCK s, 0.07 % over a 15 s window). And the context switches
# of its live threads.
cpuacct=/sys/fs/cgroup/cpuacct
own_group() {  # pid -> the group's folder, or nothing
  local group="$cpuacct/pelmora-bench-$$-$1"
  if [ -w "$cpuacct" ] && mkdir "$group" 2>/dev/null; then
    if echo "$1" > "$group/cgroup.procs" 2>/dev/null; then echo "$group"; fi
  fi
}
cpu_ns() {  # pid group
  if [ -n "$2" ]; then cat "$2/cpuacct.usage"; else awk -v h="$tck" '{printf "%.0f", ($14 + $15) * 1e9 / h}' "/proc/$1/stat"; fi
}
switches() { cat /proc/$1/task/*/status 2>/dev/null | awk '/^(non)?voluntary_ctxt_switches/ {s += $2} END {print s}'; }
# "CPU% WAKEUPS" of process $1 over the window, best of 2.
measure() {
  local best_cpu="" best_wake="" group
  group=$(own_group "$1")
  for _ in 1 2; do
    local t0 s0 t1 s1
    t0=$(cpu_ns "$1" "$group"); s0=$(switches "$1"); sleep "$window"; t1=$(cpu_ns "$1" "$group"); s1=$(switches "$1")
    local cpu wake
    cpu=$(awk -v a="$t0" -v b="$t1" -v w="$window" 'BEGIN {printf "%.3f", 100 * (b - a) / 1e9 / w}')
    wake=$(awk -v a="$s0" -v b="$s1" -v w="$window" 'BEGIN {printf "%.1f", (b - a) / w}')
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN {exit !(a < b)}'; then best_cpu=$cpu; best_wake=$wake; fi
  done
  echo "$best_cpu $best_wake"
}

pelmora() {  # file dsd-mode [pause]
  SONARA_VIRTUAL_DEVICES="$work/devices.json" SONARA_DEFAULTS="$work/d.plist" \
    "$cli" play --device "Bench DAC" --dsd "$2" "$1" > /dev/null 2>&1 < /dev/null &
  local pid=$!
  sleep 3
  if [ "${3:-}" = pause ]; then kill -USR1 $pid; sleep 1; fi
  measure $pid
  kill -INT $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
}

have_mpd=0
if command -v mpd > /dev/null && command -v mpc > /dev/null; then have_mpd=1; fi
mpd_port=16600
start_mpd() {  # dop: yes|no
  mkdir -p "$work/mpd"
  cat > "$work/mpd/mpd.conf" <<CONF
music_directory "$work"
db_file "$work/mpd/db"
state_file "$work/mpd/state"
pid_file "$work/mpd/pid"
bind_to_address "127.0.0.1"
port "$mpd_port"
audio_output {
  type "null"
  name "null"
  sync "yes"
  dop "$1"
}
CONF
  mpd --no-daemon "$work/mpd/mpd.conf" > /dev/null 2>&1 &
  mpd_pid=$!
  for _ in $(seq 100); do mpc -q -p $mpd_port status > /dev/null 2>&1 && break; sleep 0.1; done
  mpc -q -p $mpd_port update --wait 2> /dev/null
}
stop_mpd() { kill $mpd_pid 2>/dev/null || true; wait $mpd_pid 2>/dev/null || true; rm -rf "$work/mpd"; }
mpd_play() {  # file
  mpc -q -p $mpd_port clear; mpc -q -p $mpd_port add "$(basename "$1")"; mpc -q -p $mpd_port play
  sleep 3
  measure $mpd_pid
  mpc -q -p $mpd_port stop
}

printf "\n%-30s %22s %22s %8s\n" "Stream" "pelmora-cli" "MPD" "ratio"
row() {  # label file dsd-mode
  read -r pc pw < <(pelmora "$2" "$3")
  local mc="-" mw="-" ratio="-"
  if [ $have_mpd = 1 ]; then
    start_mpd "$([ "$3" = dop ] && echo yes || echo no)"
    read -r mc mw < <(mpd_play "$2")
    stop_mpd
    ratio=$(awk -v a="$pc" -v b="$mc" 'BEGIN {if (b > 0) printf "%.2fx", a / b; else print "-"}')
  fi
  printf "%-30s %8s%% %7s wk/s %8s%% %7s wk/s %8s\n" "$1" "$pc" "$pw" "$mc" "$mw" "$ratio"
}
row "FLAC 16/44.1" "$work/flac-16-44.flac" dop
row "FLAC 24/192" "$work/flac-24-192.flac" dop
row "DSF DSD128 as DoP" "$work/dsd128.dsf" dop
row "DSF DSD128 native" "$work/dsd128.dsf" native
row "DSF DSD256 as DoP" "$work/dsd256.dsf" dop
read -r pc pw < <(pelmora "$work/flac-16-44.flac" dop pause)
printf "%-30s %8s%% %7s wk/s\n" "pelmora-cli paused" "$pc" "$pw"
[ $have_mpd = 1 ] || echo "(MPD is not installed: apt-get install mpd mpc to compare)"
