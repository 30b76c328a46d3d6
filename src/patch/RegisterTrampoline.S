# The shared trampoline of every mid-function hook (see RegisterHook.h).
#
# A per-site entry has run:   lea esp,[esp-64]; push 0; push 0; push hook; call here
# so on arrival, with S = ESP at the site:
#   [esp]    resume (the entry's tail, after the call)   [esp+8]  pushFloat (0)
#   [esp+4]  hook                                        [esp+12] floatResult (0)
# and the 64 bytes below S are left free, so that a handler may lower ESP a little.
# PUSHFD and PUSHAD below complete the RegisterRecord (offsets in TrampolineLayout.h).
#include "patch/TrampolineLayout.h"

    .intel_syntax noprefix
    .text
    .globl _morvane_register_trampoline
    .p2align 4
_morvane_register_trampoline:
    pushfd
    pushad
    add dword ptr [esp+RECORD_ESP], SITE_ESP_ABOVE_PUSHAD   # make it ESP at the site

    mov ebx, esp                    # the record; EBX survives the cdecl handler
    cld
    sub esp, 512
    and esp, -16
    fxsave [esp]                    # the host's x87/MMX/SSE state
    sub esp, 16
    # The handler starts with an empty x87 stack, the default x87 control word (all
    # exceptions masked) and the default SSE control word. Where the host's stack is
    # empty already (no tag set in the saved image), loading the control word is enough;
    # FNINIT, which costs more than the rest of the trampoline, only otherwise.
    cmp byte ptr [esp+16+4], 0      # the saved abridged tag word
    jne 2f
    mov dword ptr [esp+8], 0x037F
    fldcw [esp+8]
    jmp 3f
2:  fninit
3:  mov dword ptr [esp+4], 0x1F80
    ldmxcsr [esp+4]
    mov [esp], ebx                  # morvane_run_handler(record) runs the hook,
    call _morvane_run_handler       # called on a 16-byte aligned stack
    add esp, 16
    fxrstor [esp]
    mov esp, ebx

    cmp dword ptr [esp+RECORD_PUSH_FLOAT], 0   # EFLAGS come from the record below, so this is free
    je 1f
    fld dword ptr [esp+RECORD_FLOAT_RESULT]
1:
    # Lay EFLAGS and the resume address just below the ESP to resume with. That place
    # lies above the record as long as the handler lowered ESP by no more than the
    # reserve less these 8 bytes (kMaxStackGrowth).
    mov eax, [esp+RECORD_ESP]
    mov ecx, [esp+RECORD_EFLAGS]
    mov [eax-RESUME_SLOTS_SIZE], ecx
    mov ecx, [esp+RECORD_RESUME]
    mov [eax-RESUME_SLOTS_SIZE+4], ecx
    sub eax, RESUME_SLOTS_SIZE
    mov [esp+RECORD_ESP], eax
    popad                           # every register but ESP
    mov esp, [esp-(32-RECORD_ESP)]  # the record's ESP slot, now just below ESP
    popfd
    ret                             # to the entry's tail, as its call predicted, unless moved
