#!/usr/bin/env bash
# Builds the configurator and starts it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
exec "$build_dir/tav-configurator" "$@"
