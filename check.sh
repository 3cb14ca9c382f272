#!/usr/bin/env bash
# Builds Tabrixa and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh --test
cd build
ctest --output-on-failure -j"$(nproc)" --timeout 600
