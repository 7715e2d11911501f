#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKRM_BUILD_TESTS=OFF
cmake --build build -j"$(nproc)"
if [ -x build/app/stelvano ]; then
  exec build/app/stelvano "$@"
else
  echo "Built every library; the desktop program's entry point is not part of this build yet."
fi
