#!/usr/bin/env bash
# Checks that every C++ source follows .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format || command -v clang-format-14)
find include plugin keyboard midi dialogs resources host demo tests -name '*.cpp' -o -name '*.h' |
    sort | xargs "$format" --dry-run --Werror
