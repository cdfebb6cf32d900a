#!/usr/bin/env bash
# Builds Sonavant (installing what it needs) and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" "$root/build"
exec "$root/build/Sonavant/shell/sonavant" "$@"
