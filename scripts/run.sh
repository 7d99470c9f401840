#!/usr/bin/env bash
# Builds Pelmora and runs the headless player's main job on this machine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/pelmora-ccache}"
"$root/scripts/build.sh" "$root/build/release" -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF >/dev/null
cli="$root/build/release/cli/pelmora-cli"
"$cli" --version
echo "--- plug-ins"
"$cli" plugins
echo "--- output devices"
"$cli" devices
