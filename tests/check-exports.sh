#!/bin/sh
# Each module must export DllCreateInstance and nothing else: a shared
# library by its dynamic symbols, a DLL (cross-built for Windows) by its
# export table.
status=0
for module in "$@"; do
  case "$module" in
    *.dll)
      # The names after the "[Ordinal/Name Pointer] Table" heading.
      exports=$(x86_64-w64-mingw32-objdump -p "$module" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/{/Table/d;s/^.*\] //p;}' | sort | tr '\n' ' ') ;;
    *)
      exports=$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ') ;;
  esac
  if [ "$exports" != "DllCreateInstance " ]; then
    echo "FAIL: $module exports: $exports"
    status=1
  else
    echo "ok: $module exports only DllCreateInstance"
  fi
done
exit $status
