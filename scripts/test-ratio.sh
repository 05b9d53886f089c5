#!/usr/bin/env bash
# Share of test code: non-blank, non-comment lines of the C++ under every tests/ folder and fuzz/ (its
# corpora and dictionaries are data, not code) against every other C++ source of the repository.
set -euo pipefail
cd "$(dirname "$0")/.."

code_lines() { xargs -r cat | sed -E 's://.*$::' | grep -cvE '^\s*$|^\s*(/\*|\*)' || true; }
sources=$(git ls-files -co --exclude-standard | grep -E '\.(cpp|cc|h|hpp)$' | grep -vE '^fuzz/(corpus|dict)/')
tests=$(grep -E '(^|/)tests/|^fuzz/' <<<"$sources" | code_lines)
code=$(grep -vE '(^|/)tests/|^fuzz/' <<<"$sources" | code_lines)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d lines, other code %d lines: %.1f%%\n", t, c, 100 * t / c }'
