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

# Runs the handler on the 16-byte aligned stack, with the default SSE control word; the
# x87 stack is empty and its control word the default (all exceptions masked) by then.
.macro RUN_HANDLER
    mov dword ptr [esp+4], 0x1F80
    ldmxcsr [esp+4]
    mov [esp], ebx                  # morvane_run_handler(record) runs the hook
    call _morvane_run_handler
.endm

    .globl _morvane_register_trampoline
    .p2align 4
_morvane_register_trampoline:
    pushfd
    pushad
    add dword ptr [esp+RECORD_ESP], SITE_ESP_ABOVE_PUSHAD   # make it ESP at the site

    mov ebx, esp                    # the record; EBX survives the cdecl handler
    cld
    sub esp, SAVE_AREA + SAVE_AREA_SIZE
    and esp, -16
    # Almost always the game has no x87 value in flight at a site: then only what a
    # handler can change is kept (the x87 control and status words, MXCSR, XMM0-7). With
    # values in flight, or MMX state (which shows as values), the whole state is saved and
    # the stack emptied for the handler.
    fnstsw word ptr [esp+SAVE_STATUS]   # first: FXAM changes the condition codes
    fxam
    fnstsw ax
    and ax, 0x4500                  # C3 C2 C0 of ST0 are 1 0 1 when it is empty, and an
    cmp ax, 0x4100                  # empty top in compiled code means an empty stack
    jne 3f

    fnstcw word ptr [esp+SAVE_CONTROL]
    stmxcsr dword ptr [esp+SAVE_MXCSR]
    movaps [esp+SAVE_XMM+0x00], xmm0
    movaps [esp+SAVE_XMM+0x10], xmm1
    movaps [esp+SAVE_XMM+0x20], xmm2
    movaps [esp+SAVE_XMM+0x30], xmm3
    movaps [esp+SAVE_XMM+0x40], xmm4
    movaps [esp+SAVE_XMM+0x50], xmm5
    movaps [esp+SAVE_XMM+0x60], xmm6
    movaps [esp+SAVE_XMM+0x70], xmm7
    mov dword ptr [esp+8], 0x037F
    fldcw [esp+8]
    RUN_HANDLER
    # The handler leaves the x87 stack empty, as it found it. The status word goes back
    # as the game had it. FXAM changed its condition codes: where nothing else changed and
    # the game's codes are those of a comparison (C1 clear), an unordered comparison of two
    # constants sets them again, cheaply; otherwise an environment built from the kept
    # words and every register empty restores it whole.
    fnstsw ax
    mov dx, word ptr [esp+SAVE_STATUS]
    xor ax, dx
    jz 2f                           # unchanged
    test ax, 0xB8FF                 # anything but C3 C2 C1 C0 changed
    jnz 5f
    and dx, 0x4700
    jz 10f                          # > : 0 0 0 0
    cmp dx, 0x0100
    je 11f                          # < : C0
    cmp dx, 0x4000
    je 12f                          # = : C3
    cmp dx, 0x4500
    je 13f                          # unordered: C3 C2 C0
    jmp 5f
10: fldz
    fld1
    jmp 14f
11: fld1
    fldz
    jmp 14f
12: fldz
    fldz
    jmp 14f
13: fldz
    fld dword ptr [_morvane_quiet_nan]
14: fucompp                         # sets C3 C2 C0, clears C1, pops both
    fnstsw ax
    cmp ax, word ptr [esp+SAVE_STATUS]
    je 2f
5:  movzx eax, word ptr [esp+SAVE_CONTROL]
    mov [esp+SAVE_ENVIRONMENT+0], eax       # control word
    movzx eax, word ptr [esp+SAVE_STATUS]
    mov [esp+SAVE_ENVIRONMENT+4], eax       # status word
    mov dword ptr [esp+SAVE_ENVIRONMENT+8], 0xFFFF   # tag word: every register empty
    xor eax, eax
    mov [esp+SAVE_ENVIRONMENT+12], eax      # instruction and operand pointers: none
    mov [esp+SAVE_ENVIRONMENT+16], eax
    mov [esp+SAVE_ENVIRONMENT+20], eax
    mov [esp+SAVE_ENVIRONMENT+24], eax
    fldenv [esp+SAVE_ENVIRONMENT]
2:  fldcw word ptr [esp+SAVE_CONTROL]
    ldmxcsr dword ptr [esp+SAVE_MXCSR]
    movaps xmm0, [esp+SAVE_XMM+0x00]
    movaps xmm1, [esp+SAVE_XMM+0x10]
    movaps xmm2, [esp+SAVE_XMM+0x20]
    movaps xmm3, [esp+SAVE_XMM+0x30]
    movaps xmm4, [esp+SAVE_XMM+0x40]
    movaps xmm5, [esp+SAVE_XMM+0x50]
    movaps xmm6, [esp+SAVE_XMM+0x60]
    movaps xmm7, [esp+SAVE_XMM+0x70]
    jmp 4f

3:  fxsave [esp+SAVE_AREA]          # the whole x87/MMX/SSE state, with the status word
    mov ax, [esp+SAVE_STATUS]       # as it was before FXAM
    mov [esp+SAVE_AREA+FXSAVE_STATUS], ax
    fninit                          # empty stack, default control word
    RUN_HANDLER
    fxrstor [esp+SAVE_AREA]

4:  mov esp, ebx
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

    .section .rdata, "dr"
    .p2align 2
_morvane_quiet_nan:
    .long 0x7FC00000                # a quiet NaN: compared unordered, raising nothing
