#!/usr/bin/env bash
# Builds Pelmora and plays the demo set on the default output device: the first sound
# card, or the built-in capture device on a machine without sound hardware. With a
# display the desktop program opens with the demo set in its playlist; without one
# the headless player plays it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/pelmora-ccache}"
# Paths relative to the checkout, so that another clone reuses the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
build="$root/build/release"
echo "Building pelmora and pelmora-cli in $build (the first build takes about 5 minutes on 2 cores; later ones are quick)"
started=$SECONDS
"$root/scripts/build.sh" "$build" -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF
echo "Built in $((SECONDS - started)) s"
cli="$build/cli/pelmora-cli"

demo="$root/demo"
if [ ! -f "$demo/3-tone-96k.flac" ]; then
  echo "Making the demo set in $demo"
  mkdir -p "$demo"
  "$build/tools/dsd-tone" "$demo/1-tone-dsd64.dsf" 4 440
  sox -q -n -r 44100 -b 16 -c 2 "$demo/tmp.wav" synth 4 pluck C4 pluck E4 fade 0.05 4 0.5 vol 0.6
  flac -s -f -T "TITLE=Plucked strings" -T "ARTIST=Pelmora demo" -o "$demo/2-pluck-44k.flac" "$demo/tmp.wav"
  sox -q -n -r 96000 -b 24 -c 2 "$demo/tmp.wav" synth 4 sine 330 sine 495 fade 0.05 4 0.5 vol 0.5
  flac -s -f -T "TITLE=Fifths" -T "ARTIST=Pelmora demo" -o "$demo/3-tone-96k.flac" "$demo/tmp.wav"
  rm -f "$demo/tmp.wav"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "A display is present: starting the desktop program $build/app/pelmora with the demo set in its playlist"
  exec "$build/app/pelmora" "$demo/1-tone-dsd64.dsf" "$demo/2-pluck-44k.flac" "$demo/3-tone-96k.flac"
fi
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): playing the demo set with the headless player"
"$cli" --version
echo "--- decoder plug-ins"
"$cli" plugins
echo "--- output devices"
"$cli" devices
echo "--- playing the demo set"
"$cli" play "$demo"
