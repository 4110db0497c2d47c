#!/usr/bin/env bash
# Builds the configurator and starts it on a simulated module, so it can be
# tried without hardware. Without a display it runs the guided tour instead
# and saves a picture of every step. Arguments go to the demo program.
set -euo pipefail
# Only what this starts or names; the tests, the benchmark and the monkey
# wait for the test command.
build_targets=(tav-configurator-demo tav-configurator tav-configurator-cli tav-module-sim)
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
demo="$build_dir/demo/tav-configurator-demo"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ "$(uname -s)" = "Darwin" ]; then
    echo "Starting the configurator with a simulated module."
    echo "For a real module run: $build_dir/src/window/tav-configurator"
    echo "On the command line: $build_dir/cli/tav-configurator-cli --help"
    exec "$demo" "$@"
fi
echo "No display: running the guided tour against the simulated module."
"$demo" --tour "$build_dir/tour" "$@"
echo "Pictures of every step: $build_dir/tour/"
