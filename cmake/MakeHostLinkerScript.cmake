# Writes a linker script for the simulated host: the toolchain's default PE script with
# the section ".kavra" (the game's image range) placed first, at image base + 0x1000,
# and every normal section after it.
# Usage: cmake -DCXX=<compiler> -DOUT=<file> -P MakeHostLinkerScript.cmake
execute_process(COMMAND ${CXX} -Wl,--verbose -x c++ /dev/null -o /dev/null
                OUTPUT_VARIABLE dump ERROR_QUIET)
string(FIND "${dump}" "==================================================" first)
if(first EQUAL -1)
  message(FATAL_ERROR "the linker printed no default script")
endif()
string(SUBSTRING "${dump}" ${first} -1 dump)
string(REGEX REPLACE "^=+\n" "" dump "${dump}")
string(FIND "${dump}" "==================================================" last)
string(SUBSTRING "${dump}" 0 ${last} script)
set(old "  .text  __image_base__ + ( __section_alignment__ < 0x1000 ? . : __section_alignment__ ) :")
set(new "  .kavra __image_base__ + 0x1000 : { KEEP (*(.kavra)) }\n  .text ALIGN(__section_alignment__) :")
string(FIND "${script}" "${old}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the default linker script has no .text line to rewrite")
endif()
string(REPLACE "${old}" "${new}" script "${script}")
file(WRITE "${OUT}" "${script}")
