# The shared trampoline of every mid-function hook (see RegisterHook.h), with a door for
# integer handlers and one for floating-point handlers.
#
# A per-site entry has run:   lea esp,[esp-72]; push hook; call here
# so on arrival, with S = ESP at the site:
#   [esp]    resume (the entry's tail, after the call)   [esp+8]  pushFloat (set here)
#   [esp+4]  hook                                        [esp+12] floatResult
# and the 64 bytes below S are left free, so that a handler may lower ESP a little.
# PUSHFD and PUSHAD below complete the RegisterRecord (offsets in TrampolineLayout.h); the
# same from the registers again keep the site's state below it.
#include "patch/TrampolineLayout.h"

    .intel_syntax noprefix
#include "patch/X87Stack.inc"
    .text

# Runs the handler on the 16-byte aligned stack, with the default SSE control word (the
# game's exception flags stand, as they do in the x87 status word); the x87 stack is empty
# and its control word the default (all exceptions masked) by then.
.macro RUN_HANDLER
    mov eax, [esp+SAVE_MXCSR]
    and eax, 0xFFC0                 # the control bits
    cmp eax, 0x1F80
    je .Lrun\@
    ldmxcsr [_morvane_default_mxcsr]
.Lrun\@:
    mov [esp], ebx                  # morvane_run_handler(record, site state) runs the hook
    lea eax, [ebx-SITE_STATE_SIZE]
    mov [esp+4], eax
    call _morvane_run_handler
.endm

.macro SAVE_XMM_REGISTERS
    movaps [esp+SAVE_XMM+0x00], xmm0
    movaps [esp+SAVE_XMM+0x10], xmm1
    movaps [esp+SAVE_XMM+0x20], xmm2
    movaps [esp+SAVE_XMM+0x30], xmm3
    movaps [esp+SAVE_XMM+0x40], xmm4
    movaps [esp+SAVE_XMM+0x50], xmm5
    movaps [esp+SAVE_XMM+0x60], xmm6
    movaps [esp+SAVE_XMM+0x70], xmm7
.endm

.macro LOAD_XMM_REGISTERS
    movaps xmm0, [esp+SAVE_XMM+0x00]
    movaps xmm1, [esp+SAVE_XMM+0x10]
    movaps xmm2, [esp+SAVE_XMM+0x20]
    movaps xmm3, [esp+SAVE_XMM+0x30]
    movaps xmm4, [esp+SAVE_XMM+0x40]
    movaps xmm5, [esp+SAVE_XMM+0x50]
    movaps xmm6, [esp+SAVE_XMM+0x60]
    movaps xmm7, [esp+SAVE_XMM+0x70]
.endm

# With AX the status word now and every x87 register free: sets C3 C2 C0 again as the game
# had them, where they are those a comparison or FXAM of a register in use gives, by a
# comparison of two constants or FXAM of one. Otherwise jumps to \other. Uses DX.
.macro X87_CODES_BACK other
    mov dx, word ptr [esp+SAVE_STATUS]
    xor ax, dx
    test ax, 0x4500
    jz .Ldone\@                     # C3 C2 C0 as they were
    and dx, 0x4500
    jz .Lgreater\@                  # > : 0 0 0
    cmp dx, 0x4500                  # unordered: C3 C2 C0
    je .Lunordered\@
    cmp dx, 0x0100                  # NaN, or < : C0
    je .Lnan\@
    cmp dx, 0x0400                  # normal: C2
    je .Lnormal\@
    cmp dx, 0x0500                  # infinity: C2 C0
    je .Linfinity\@
    cmp dx, 0x4000                  # zero, or = : C3
    jne \other
    fldz
    jmp .Lexamine\@
.Lnan\@:
    fld dword ptr [_morvane_quiet_nan]
    jmp .Lexamine\@
.Lnormal\@:
    fld1
    jmp .Lexamine\@
.Linfinity\@:
    fld dword ptr [_morvane_infinity]
.Lexamine\@:
    fxam                            # D9 E5: sets C3 C2 C0 to the class
    fstp st(0)
    jmp .Ldone\@
.Lgreater\@:
    fldz
    fld1
    jmp .Lcompare\@
.Lunordered\@:
    fldz
    fld dword ptr [_morvane_quiet_nan]
.Lcompare\@:
    fucompp                         # DA E9: sets C3 C2 C0, pops both
.Ldone\@:
.endm

# With AX the status word now, the values popped back (ESI of them): where only C1 differs
# from the game's and a register is free, sets it again and jumps to \done if the word is the
# game's then. Otherwise falls through.
.macro X87_C1_BACK done
    xor ax, word ptr [esp+SAVE_STATUS]
    test ax, 0xBDFF                 # anything but C1 changed
    jnz .Lnot\@
    cmp esi, 7                      # a register free for C1
    ja .Lnot\@
    test byte ptr [esp+SAVE_STATUS+1], 0x02
    jz .Lclear\@
    test byte ptr [esp+SAVE_STATUS], 0x20   # C1 1 comes from a rounding up, which raises
    jz .Lnot\@                              # the precision flag: only where it is set
    fld dword ptr [_morvane_one_and_a_half]
    fistp dword ptr [esp+8]         # DB 5C 24 08: 2, rounded up: C1 1
    jmp .Lcheck\@
.Lclear\@:
    fldz
    fstp st(0)                      # C1 0
.Lcheck\@:
    fnstsw ax
    cmp ax, word ptr [esp+SAVE_STATUS]
    je \done
.Lnot\@:
.endm

# After FXSAVE of the whole state: every register empty, TOP 0, for the handler.
.macro X87_EMPTY_SAVED
    test byte ptr [esp+SAVE_STATUS], 0x80   # ES: an exception the game has pending stays in
    jz .Lfree\@                             # the image, not in the handler's way
    fnclex
.Lfree\@:
    ffree st(0)                     # DD C0+i: their values are in the image
    ffree st(1)
    ffree st(2)
    ffree st(3)
    ffree st(4)
    ffree st(5)
    ffree st(6)
    ffree st(7)
    movzx ecx, word ptr [esp+SAVE_STATUS]
    shr ecx, 11
    and ecx, 7                      # TOP, brought round to 0 (FNINIT would cost far more)
    jz .Ltop\@
.Lround\@:
    fincstp                         # D9 F7
    inc ecx
    test cl, 8
    jz .Lround\@
.Ltop\@:
.endm

# Pushes the record's float result onto the x87 stack in the FXSAVE image, as FLD would:
# ST(0)-ST(6) move down a slot (ST(7) drops off a full stack), the result goes into ST(0),
# TOP goes down one, its register is in use and C1 is clear. Runs with the handler's control
# word (every exception masked, nothing pending) and an x87 stack the image replaces (the
# game's values may be back on it: one register is freed for the conversion); XMM0 is free,
# the image holds the game's.
.macro X87_PUSH_INTO_IMAGE
    .irp slot, 6, 5, 4, 3, 2, 1, 0
    movaps xmm0, [esp+SAVE_REGISTERS+16*\slot]
    movaps [esp+SAVE_REGISTERS+16*(\slot+1)], xmm0
    .endr
    ffree st(7)
    fld dword ptr [ebx+RECORD_FLOAT_RESULT]
    fstp tbyte ptr [esp+SAVE_REGISTERS]        # the float, exactly, as FLD widens it
    movzx eax, word ptr [esp+SAVE_AREA+FXSAVE_STATUS]
    mov ecx, eax
    shr ecx, 11
    dec ecx
    and ecx, 7                                  # TOP after the push
    and eax, 0xC5FF                             # TOP and C1 cleared
    mov edx, ecx
    shl edx, 11
    or eax, edx
    mov word ptr [esp+SAVE_AREA+FXSAVE_STATUS], ax
    bts dword ptr [esp+SAVE_AREA+FXSAVE_TAGS], ecx   # the abridged tag of that register
.endm

# The record, then the site's state below it, to put the record back from if the handler
# fails: the registers stored again, not reloaded from the record. EBX: the record (it
# survives the cdecl handler), ESP: the site's state. The handler runs with DF clear.
.macro RECORD_THE_SITE
    pushfd
    pushad
    push dword ptr [esp+RECORD_EFLAGS]
    pushad
    lea ebx, [esp+SITE_STATE_SIZE]
    lea eax, [ebx+32+SITE_ESP_ABOVE_PUSHAD]     # ESP at the site, above the record's PUSHAD
    mov [esp+RECORD_ESP], eax
    mov [ebx+RECORD_ESP], eax
    test byte ptr [ebx+RECORD_EFLAGS+1], 0x04   # DF (bit 10)
    jz .Lclear\@
    cld
.Lclear\@:
.endm

# For an integer handler: integer code all through, so the game's x87/MMX/SSE state is
# never touched; nor is a float result pushed (pushFloat is never read).
    .globl _morvane_integer_trampoline
    .p2align 4
_morvane_integer_trampoline:
    RECORD_THE_SITE
    mov eax, esp                    # the site's state
    and esp, -16
    sub esp, 16
    mov [esp], ebx
    mov [esp+4], eax
    call _morvane_run_integer_handler
    mov esp, ebx
    jmp .Lresume

# For a floating-point handler.
    .globl _morvane_float_trampoline
    .p2align 4
_morvane_float_trampoline:
    RECORD_THE_SITE
    mov dword ptr [ebx+RECORD_PUSH_FLOAT], 0
    mov edi, [ebx+RECORD_HOOK]
    sub esp, SAVE_AREA + SAVE_AREA_SIZE
    and esp, -16
    # The x87 stack is emptied for the handler, its values in flight kept in the image, and
    # with them only what a handler can change (the x87 control and status words, MXCSR,
    # XMM0-7); where the x87 state is odd, the whole state is saved instead.
    mov edi, [edi+HOOK_FULL_X87_STACK]
    X87_EMPTY_STACK 3f, edi
    test edx, edx                   # an FXSAVE has stored MXCSR and XMM0-7 in the image
    jnz 9f
    stmxcsr dword ptr [esp+SAVE_MXCSR]
    SAVE_XMM_REGISTERS
9:
    # The handler's control word, loaded only where the word in force differs: a change of
    # the exception masks is dear on some processors.
    fnstcw word ptr [esp+8]
    cmp word ptr [esp+8], 0x037F
    je 1f
    mov dword ptr [esp+8], 0x037F
    fldcw [esp+8]
1:  RUN_HANDLER                     # ESI, the count of values popped, survives it
    # The handler leaves the x87 stack empty, as it found it. The status word goes back as
    # the game had it: its condition codes C3 C2 C0, changed by examining the values popped
    # and perhaps by the handler, first, while every register is free; then the values
    # popped go back, and C1, which loads and pops clear, is set where a register is free
    # for it. The result is checked; otherwise, or where that did not give the game's word,
    # the image restores the x87 state whole.
    fnstsw ax
    test esi, esi
    jnz 1f
    cmp ax, word ptr [esp+SAVE_STATUS]
    je 2f                           # nothing popped, the word as the game had it
1:  X87_CODES_BACK 6f
    X87_PUSH_BACK
    fnstsw ax
    cmp ax, word ptr [esp+SAVE_STATUS]
    je 2f
    X87_C1_BACK 2f
    jmp 6f
2:  fnstcw word ptr [esp+8]
    mov ax, word ptr [esp+SAVE_CONTROL]
    cmp ax, word ptr [esp+8]
    je 1f                           # the control word as the game had it
    fldcw word ptr [esp+SAVE_CONTROL]
1:
    ldmxcsr dword ptr [esp+SAVE_MXCSR]      # MXCSR as the game had it: loading it costs
    LOAD_XMM_REGISTERS                      # less than reading it to compare
    jmp 4f

6:  inc dword ptr [_morvane_x87_image_restores]
    mov ax, word ptr [esp+SAVE_STATUS]
    mov word ptr [esp+SAVE_AREA+FXSAVE_STATUS], ax
    mov ecx, esi
    mov eax, 0xFF00
    shr eax, cl
    movzx eax, al                   # the registers of the values popped, from TOP up, in
    mov [esp+SAVE_AREA+FXSAVE_TAGS], eax    # use; no last opcode (nor pointers: not kept)
    jmp 5f                          # control word, MXCSR, values and XMM0-7 are in place

3:  inc dword ptr [_morvane_x87_whole_saves]
    fxsave [esp+SAVE_AREA]          # the whole x87/MMX/SSE state, with the status word
    mov ax, [esp+SAVE_STATUS]       # as it was before the x87 was tried
    mov [esp+SAVE_AREA+FXSAVE_STATUS], ax
    X87_EMPTY_SAVED
    mov dword ptr [esp+8], 0x037F
    fldcw [esp+8]
    RUN_HANDLER
    # Restored from the image, the game's state may hold an exception pending (ES), which
    # the next waiting x87 instruction delivers: that must be the game's own, so a float
    # result goes into the image, not onto the restored stack.
5:  cmp dword ptr [ebx+RECORD_PUSH_FLOAT], 0
    je 7f
    X87_PUSH_INTO_IMAGE
    mov dword ptr [ebx+RECORD_PUSH_FLOAT], 0
7:  fxrstor [esp+SAVE_AREA]

4:  mov esp, ebx
    cmp dword ptr [esp+RECORD_PUSH_FLOAT], 0   # EFLAGS come from the record below, so this is free
    je .Lresume
    fld dword ptr [esp+RECORD_FLOAT_RESULT]
.Lresume:
    # Lay the resume address just below the ESP to resume with. That place lies above the
    # record as long as the handler lowered ESP by no more than the reserve less the
    # resume slots (kMaxStackGrowth).
    mov eax, [esp+RECORD_ESP]
    mov ecx, [esp+RECORD_RESUME]
    mov [eax-4], ecx
    sub eax, 4
    mov [esp+RECORD_ESP], eax
    # The flags from the record without POPFD, which some processors run slowly: DF, then
    # OF, then SF ZF AF PF CF. Nothing after them changes a flag. (A hook never changes the
    # system flags, which user code cannot set anyway but for AC and TF.)
    mov ecx, [esp+RECORD_EFLAGS]
    bt ecx, 10                      # DF
    jnc 1f
    std
1:  mov eax, ecx
    and eax, 0x800
    shl eax, 20                     # OF (bit 11) alone, in the sign bit:
    cmp eax, 1                      # 0x80000000 - 1 overflows, 0 - 1 does not
    mov ah, cl
    sahf                            # 9E: SF ZF AF PF CF from AH
    popad                           # every register but ESP
    mov esp, [esp-(32-RECORD_ESP)]  # the record's ESP slot, now just below ESP
    ret                             # to the entry's tail, as its call predicted, unless moved

# morvane_restore_float_state(image): loads the x87/MMX/SSE state from a 512-byte FXSAVE
# image at any alignment (copied to an aligned place first).
    .globl _morvane_restore_float_state
    .p2align 4
_morvane_restore_float_state:
    push esi
    push edi
    push ebp
    mov ebp, esp
    mov esi, [ebp+16]
    sub esp, SAVE_AREA_SIZE
    and esp, -16
    mov edi, esp
    mov ecx, SAVE_AREA_SIZE / 4
    cld
    rep movsd
    fxrstor [esp]
    mov esp, ebp
    pop ebp
    pop edi
    pop esi
    ret

# morvane_enter_hook(entry): enters a per-site entry as a game site would, for timing it; the
# entry resumes at morvane_hook_entered, which returns here.
    .globl _morvane_enter_hook
    .p2align 4
_morvane_enter_hook:
    mov eax, [esp+4]
    call eax
    ret
    .globl _morvane_hook_entered
_morvane_hook_entered:
    ret

    .section .rdata, "dr"
    .p2align 2
_morvane_quiet_nan:
    .long 0x7FC00000                # a quiet NaN: compared unordered, raising nothing
_morvane_infinity:
    .long 0x7F800000
_morvane_one_and_a_half:
    .float 1.5
_morvane_default_mxcsr:
    .long 0x1F80

    .data
    .p2align 2
    .globl _morvane_x87_whole_saves
_morvane_x87_whole_saves: .long 0
    .globl _morvane_x87_image_restores
_morvane_x87_image_restores: .long 0
    .globl _morvane_x87_emptiness_test
_morvane_x87_emptiness_test: .long X87_TEST_PUSH   # X87EmptinessTest
