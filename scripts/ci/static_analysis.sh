#!/usr/bin/env bash
# Static analysis of the product code (the library in src/, the front ends in
# programs/, the page's glue and the Python module): clang-tidy with the checks in
# .clang-tidy, then cppcheck. Uses the dev build's compilation database
# (configuring the dev preset first if it is missing). Fails on any finding.
#
#   scripts/ci/static_analysis.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"

for tool in clang-tidy cppcheck; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "static analysis: $tool is not installed (apt-get install clang-tidy cppcheck)" >&2
    exit 1
  fi
done

database=build/dev/compile_commands.json
[ -f "$database" ] || cmake --preset dev >/dev/null

# The product's translation units, as the compilation database lists them.
mapfile -t sources < <(python3 - "$database" "$root/src/" "$root/programs/" <<'PY'
import json, os, sys
entries = json.load(open(sys.argv[1]))
files = sorted({os.path.normpath(os.path.join(e["directory"], e["file"])) for e in entries})
print("\n".join(f for f in files if f.startswith(tuple(sys.argv[2:]))))
PY
)
[ "${#sources[@]}" -gt 0 ] || { echo "static analysis: no product sources in $database" >&2; exit 1; }

status=0
echo "clang-tidy: ${#sources[@]} files"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# WarningsAsErrors in .clang-tidy turns every finding into a failed exit.
if ! printf '%s\n' "${sources[@]}" |
    xargs -P2 -n1 clang-tidy -p build/dev --quiet >"$log" 2>&1; then
  grep -E "(warning|error):" -A3 "$log" || cat "$log"
  echo "clang-tidy: findings above" >&2
  status=1
fi

echo "cppcheck: ${#sources[@]} files"
# useStlAlgorithm is taste: a short loop that returns early reads as plainly
# as the algorithm it could be.
if ! cppcheck --project="$database" "--file-filter=src/*" "--file-filter=programs/*" --std=c++20 \
    --enable=warning,style,performance,portability --inline-suppr \
    --suppress=missingIncludeSystem --suppress=useStlAlgorithm --error-exitcode=1 -j2 --quiet; then
  echo "cppcheck: findings above" >&2
  status=1
fi

# The front ends that other toolchains build: the page's glue (Emscripten)
# and the Python module (pybind11). Both are analysed as native code: the
# one macro the glue takes from Emscripten is defined empty, and the module
# sees Debian's python3 and pybind11 headers.
python_include=$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_paths()["include"])')
if [ ! -f "$python_include/Python.h" ] || [ ! -f /usr/include/pybind11/pybind11.h ]; then
  echo "static analysis: the Python module needs python3-dev and pybind11-dev" >&2
  exit 1
fi
shim=$(mktemp -d)
trap 'rm -f "$log"; rm -rf "$shim"' EXIT
mkdir -p "$shim/emscripten"
echo '#define EMSCRIPTEN_KEEPALIVE' >"$shim/emscripten/emscripten.h"
front_end_includes=(-Iinclude -Ibuild/dev/include -Iprograms)
glue=(web/glue/*.cpp)
module=(python/*.cpp)
echo "clang-tidy: ${#glue[@]} + ${#module[@]} files of the page's glue and the Python module"
if ! clang-tidy --quiet "${glue[@]}" -- -std=c++20 "${front_end_includes[@]}" -Iweb/glue -isystem "$shim" \
    >"$log" 2>&1 ||
   ! clang-tidy --quiet "${module[@]}" -- -std=c++20 "${front_end_includes[@]}" -Ipython \
    -isystem "$python_include" >>"$log" 2>&1; then
  grep -E "(warning|error):" -A3 "$log" || cat "$log"
  echo "clang-tidy: findings above" >&2
  status=1
fi
if ! cppcheck --std=c++20 --enable=warning,style,performance,portability --inline-suppr \
    --suppress=missingIncludeSystem --suppress=useStlAlgorithm --error-exitcode=1 --quiet \
    "${front_end_includes[@]}" -Iweb/glue -Ipython -I"$shim" "${glue[@]}" "${module[@]}"; then
  echo "cppcheck: findings above" >&2
  status=1
fi

[ "$status" -eq 0 ] && echo "static analysis: no findings"
exit "$status"
