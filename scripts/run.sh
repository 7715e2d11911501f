#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it; arguments are
# passed on (a project file to open).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKRM_BUILD_TESTS=OFF
cmake --build build -j"$(nproc)"
if [ ! -x build/app/stelvano ]; then
  echo "run.sh: build/app/stelvano was not built" >&2
  exit 1
fi
exec build/app/stelvano "$@"
