#!/usr/bin/env bash
# Fails unless the shared library exports exactly the two entry points.
set -euo pipefail
lib=$1
exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBRV]$/ {print $3}' | grep -v '^_init$\|^_fini$' | sort)
expected=$(printf '%s\n' FreeCppModuleInterface GetCppModuleInterface)
if [ "$exported" != "$expected" ]; then
  echo "unexpected exports:"
  echo "$exported"
  exit 1
fi
echo "exports: $(echo $exported)"
