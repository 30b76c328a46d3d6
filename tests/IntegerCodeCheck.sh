#!/usr/bin/env bash
# The integer code check run on the plug-in's archives with one more, whose integer code
# has floating-point work planted in it: it fails, telling each planting, and only those.
#   IntegerCodeCheck.sh CHECK-COMMAND...
set -uo pipefail
told=$("$@" 2>&1) && { echo "the check passed: $told"; exit 1; }
status=0
for planting in "runs fninit" "leaves a float operation to ___mulsf3" \
                "calls floating-point code, __ZN7morvane18StepSteerAnimationEv"; do
  grep -qxF "PlantedInIntegerCode.cpp.obj: ${planting}" <<<"$(sed 's/: <[^>]*>: /: /' <<<"$told")" ||
    { echo "not told: $planting"; status=1; }
done
if grep -v -e '^integer code uses' -e '^PlantedInIntegerCode.cpp.obj: ' <<<"$told"; then
  echo "told of other code too"
  status=1
fi
[ $status -eq 0 ] && echo "each planting told"
exit $status
