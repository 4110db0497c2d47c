#!/usr/bin/env bash
# Builds the configurator and starts it on a simulated module, so it can be
# tried without hardware. Without a display it runs the guided tour instead
# and saves a picture of every step. Arguments go to the demo program.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
demo="$build_dir/demo/tav-configurator-demo"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ "$(uname -s)" = "Darwin" ]; then
    echo "Starting the configurator with a simulated module."
    echo "For a real module run: $build_dir/tav-configurator"
    exec "$demo" "$@"
fi
echo "No display: running the guided tour against the simulated module."
"$demo" --tour "$build_dir/tour" "$@"
echo "Pictures of every step: $build_dir/tour/"
