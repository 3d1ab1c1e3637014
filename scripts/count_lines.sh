#!/usr/bin/env bash
# Prints, per layer, the lines of code and of tests (C++ sources, not counting
# blank lines and lines that hold only a // comment) and the ratio of tests to
# code. Tests are the *_test.cc files; the shared test support in tests/ is
# counted on its own line and in a second ratio, tests and support together
# against the code. Code is every other .cc/.h of the layers.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  # Lines that are neither blank nor a // comment line.
  if [ "$#" -eq 0 ]; then echo 0; return; fi
  cat "$@" | grep -v -E '^[[:space:]]*(//.*)?$' | wc -l
}

percent() { echo "$((100 * $1 / $2))%"; }

layers="base platform data host schema messages tokens company frame services reader writer boundary server cli masterdata"
total_code=0
total_tests=0
printf '%-12s %7s %7s %6s\n' layer code tests ratio
for layer in $layers; do
  [ -d "$layer" ] || continue
  mapfile -t code_files < <(find "$layer" -type f \( -name '*.cc' -o -name '*.h' \) ! -name '*_test.cc' | sort)
  mapfile -t test_files < <(find "$layer" -type f -name '*_test.cc' | sort)
  code=$(count "${code_files[@]}")
  tests=$(count "${test_files[@]}")
  total_code=$((total_code + code))
  total_tests=$((total_tests + tests))
  ratio=-
  [ "$code" -gt 0 ] && ratio=$(percent "$tests" "$code")
  printf '%-12s %7d %7d %6s\n' "$layer" "$code" "$tests" "$ratio"
done
mapfile -t support_files < <(find tests -type f \( -name '*.cc' -o -name '*.h' \) | sort)
support=$(count "${support_files[@]}")
printf '%-12s %7d %7d %6s\n' total "$total_code" "$total_tests" "$(percent "$total_tests" "$total_code")"
printf '%-12s %7s %7d\n' "tests/" "" "$support"
printf '%-12s %7d %7d %6s\n' "with tests/" "$total_code" "$((total_tests + support))" \
  "$(percent "$((total_tests + support))" "$total_code")"
