#!/bin/sh
# Each module must export DllCreateInstance and nothing else.
status=0
for module in "$@"; do
  exports=$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ')
  if [ "$exports" != "DllCreateInstance " ]; then
    echo "FAIL: $module exports: $exports"
    status=1
  else
    echo "ok: $module exports only DllCreateInstance"
  fi
done
exit $status
