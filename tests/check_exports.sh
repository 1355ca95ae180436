#!/usr/bin/env bash
# The driver library must define exactly the nine entry points in its
# dynamic symbol table, and nothing else.
set -euo pipefail
lib=$1
expected="DCSConfigure DCSDestroy DCSInitialize DCSLoad DCSReset DCSSimulate DCSStart DCSStop DCSTimeZero"
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exports of $lib differ"
  echo "  expected: $expected"
  echo "  actual:   $actual"
  exit 1
fi
types=$(nm -D --defined-only "$lib" | awk '{print $2}' | sort -u | tr -d '\n')
if [ "$types" != "T" ]; then
  echo "every export must be a function in the text section, got types: $types"
  exit 1
fi
echo "exports: $actual"
