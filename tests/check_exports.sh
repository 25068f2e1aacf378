#!/usr/bin/env bash
# Fails unless the shared library exports exactly the two entry points. Reads
# an ELF library with nm, and a Windows DLL's export table with the MinGW
# objdump (the cross build's check).
set -euo pipefail
lib=$1
case $lib in
  *.dll)
    exported=$(x86_64-w64-mingw32-objdump -p "$lib" |
      awk '/^\[Ordinal\/Name Pointer\] Table/ {table = 1; next}
           table && NF == 0 {table = 0}
           table {print $NF}' | sort) ;;
  *)
    exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBRV]$/ {print $3}' | grep -v '^_init$\|^_fini$' | sort) ;;
esac
expected=$(printf '%s\n' FreeCppModuleInterface GetCppModuleInterface)
if [ "$exported" != "$expected" ]; then
  echo "$(basename "$lib") exports other names than the two entry points:"
  echo "$exported"
  exit 1
fi
echo "exports: $(echo $exported)"
