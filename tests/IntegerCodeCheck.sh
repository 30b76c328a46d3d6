#!/usr/bin/env bash
# The integer code check run on the plug-in's archives with one more, whose integer code
# has floating-point work planted in it: it fails, telling each planting (on a line that
# starts as below), and only those.
#   IntegerCodeCheck.sh CHECK-COMMAND...
set -uo pipefail
told=$("$@" 2>&1) && { echo "the check passed: $told"; exit 1; }
status=0
rehash="std::__detail::_Prime_rehash_policy::_M_need_rehash(unsigned int, unsigned int, unsigned int) const"
for planting in "runs fninit" "leaves a float operation to ___mulsf3" \
                "calls floating-point code, __ZN7morvane18StepSteerAnimationEv" "reaches $rehash, which runs "; do
  sed 's/: <[^>]*>: /: /' <<<"$told" | awk -v line="PlantedInIntegerCode.cpp.obj: $planting" '
    index($0, line) == 1 { found = 1 } END { exit !found }' || { echo "not told: $planting"; status=1; }
done
if grep -v -e '^integer code uses' -e '^PlantedInIntegerCode.cpp.obj: ' <<<"$told"; then
  echo "told of other code too"
  status=1
fi
[ $status -eq 0 ] && echo "each planting told"
exit $status
