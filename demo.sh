#!/usr/bin/env bash
# Builds Tabrixa and converts the bundled sample PDF to a workbook.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh
build/tabrixa/tbxagent --src=samples/sample.pdf --dest=build/sample.xls
echo "Converted samples/sample.pdf to build/sample.xls"
