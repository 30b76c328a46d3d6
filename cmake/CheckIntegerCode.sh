#!/usr/bin/env bash
# Proves that integer code computes with no x87, MMX or SSE register: in every member of the
# archives but the floating-point ones, (1) no such instruction, inline assembly included,
# (2) no float operation left to a library routine (some of which run on the x87), and (3) no
# reference to a symbol floating-point code defines, but the allowed entries; (4) that the
# plug-in imports none of the C library's memory and string routines, which may use SSE
# registers (its own are integer code); and (5) that nothing the integer members can reach
# in the runtime linked statically into the plug-in (the C++ runtime, the compiler's support
# library, the MinGW C library and threads) runs such an instruction: CheckRuntimeReach.py
# follows every call, jump and address taken, routine by routine, from the symbols integer
# code leaves undefined, and tells the way to each one it finds. What the plug-in imports
# from DLLs is outside this proof. Tells each breach on a line of its own and fails.
#   CheckIntegerCode.sh NM OBJDUMP CXXFILT CACHE RUNTIME PLUGIN FLOAT_MEMBERS ENTRIES ARCHIVE...
# RUNTIME: the runtime's objects and archives in link order, separated by ","; CACHE: a
# folder for what was read of them. FLOAT_MEMBERS: the floating-point members' names,
# separated by "," ("Neon.cpp.obj,..."); ENTRIES: an extended regular expression for the
# symbols integer code may use of them.
set -euo pipefail
nm=$1 objdump=$2 cxxfilt=$3 cache=$4 runtime=$5 plugin=$6 float_members=",$7," entries=$8
shift 8

# "member symbol" for every symbol the floating-point members define.
float_symbols=$(for archive; do "$nm" -A -g --defined-only "$archive"; done |
  awk -F: -v fm="$float_members" 'index(fm, "," $2 ",") { n = split($3, f, " "); print f[n] }' | sort -u)
members=$(for archive; do "$nm" -A "$archive" | cut -d: -f2; done | sort -u)
for member in $(tr ',' ' ' <<<"$float_members"); do
  grep -qxF "$member" <<<"$members" || { echo "integer code check: no member $member in the archives"; exit 1; }
done

# (5) What integer code reaches in the runtime.
reached=$(python3 "$(dirname "$0")/CheckRuntimeReach.py" "$objdump" "$cxxfilt" "$cache" "$float_members" \
  "$runtime" "$@")

breaches=$(
  for archive; do
    # (1) Instructions that use the x87, MMX or SSE state, by member and routine.
    "$objdump" -d --no-show-raw-insn "$archive" | awk -v fm="$float_members" '
      /^[^ \t]+:[ \t]+file format/ { member = $1; sub(/:$/, "", member); next }
      /^[0-9a-f]+ <.*>:$/ { routine = $2; next }
      index(fm, "," member ",") { next }
      /^ *[0-9a-f]+:\t/ {
        split($0, part, "\t"); insn = part[2]; mnemonic = insn; sub(/ .*/, "", mnemonic)
        if (mnemonic ~ /^f/ || mnemonic ~ /^(ldmxcsr|stmxcsr|emms)$/ || insn ~ /%(x|y)?mm[0-9]|%st/)
          print member ": " routine " runs " insn
      }' | sort -u
    # (2) and (3): what the integer members leave to others.
    "$nm" -A -u "$archive" | awk -F: -v fm="$float_members" '!index(fm, "," $2 ",") {
      n = split($3, f, " "); print $2, f[n] }' | sort -u |
    while read -r member symbol; do
      if [[ $symbol =~ ^___[a-z]+(sf|df|xf|tf|hf)[0-9a-z]*$ ]]; then
        echo "$member: leaves a float operation to $symbol"
      elif grep -qxF "$symbol" <<<"$float_symbols" && ! [[ $symbol =~ $entries ]]; then
        echo "$member: calls floating-point code, $symbol"
      fi
    done
  done
  # (4) The routines the plug-in defines for itself, imported all the same.
  "$objdump" -p "$plugin" | awk '/^\tDLL Name:/ { dll = $3 } /^\t[0-9a-f]+\t +[0-9]+ +[a-z_]/ { print dll, $NF }' |
    grep -E ' (mem(cpy|move|set|cmp|chr)|str(len|chr|cmp|ncmp|cpy|str)|wcslen)$' | sed 's/^/the plug-in imports /' || true
  [ -z "$reached" ] || echo "$reached"
  )
if [ -n "$breaches" ]; then
  echo "integer code uses floating-point state (make the file floating-point code, or move the float work out):"
  echo "$breaches"
  exit 1
fi
