#!/usr/bin/env bash
# Builds the Windows program and its tests (scripts/windows-build.sh), then runs the tests under
# Wine in a private prefix, made on first use; the Wine session ends with the script.
#
# Environment: BUILD_DIR (default: build-win), WINEPREFIX (default: BUILD_DIR/wineprefix),
# QM_WINE_DISPLAY (scripts/wine-env.sh), TEST_JOBS (ctest -j, default: nproc),
# WINDOWS_TEST_EXCLUDE (ctest -E; default: nothing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build-win}
"$root/scripts/windows-build.sh"

export WINEPREFIX=${WINEPREFIX:-$BUILD_DIR/wineprefix}
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
trap qm_wine_stop EXIT
qm_wine_env "$root"

exclude=${WINDOWS_TEST_EXCLUDE-}
jobs=${TEST_JOBS:-$(nproc)}
results=$BUILD_DIR/windows-test-results.xml
status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$jobs" --timeout 600 --output-junit "$results" \
  ${exclude:+-E "$exclude"} || status=$?
[ $status -eq 0 ] && exit 0

# Now and then a Wine process ends at its start with no output at all (twice in some 600 test
# runs, a different test each time, each passing when run again). That exact failure, and no
# other, gets a second run: no output and over within a second. Each is counted and named.
python3 - "$results" >"$BUILD_DIR/windows-test-retry.txt" <<'PY' || exit $status
import re, sys, xml.etree.ElementTree as et
failed = [c for c in et.parse(sys.argv[1]).getroot().iter("testcase") if c.get("status") == "fail"]
if not failed:
    sys.exit(1)  # ctest failed for another reason
for case in failed:
    if (case.findtext("system-out") or "").strip() or float(case.get("time", "0")) >= 1.0:
        sys.exit(1)  # a real failure: no second run for anything
for case in failed:
    print("%s\t^%s$\t%s" % (case.get("name"), re.escape(case.get("name")), case.get("time")))
PY
retries=0
status=0
while IFS=$'\t' read -r name pattern took; do
  retries=$((retries + 1))
  echo "retry $retries: $name ended after $took s with no output at all; once more" >&2
  ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 600 -R "$pattern" || status=1
done <"$BUILD_DIR/windows-test-retry.txt"
echo "$retries test(s) run a second time for a silent start" >&2
exit $status
