# Stubs to set the register hook's cost against, each entered by a jump from a host
# site and leaving by an (always predicted) indirect jump to the site's resume address.
#   floor: what any hook that is safe inside the game must do at least: keep EFLAGS,
#          the general registers and the x87/MMX/SSE state around an aligned call;
#   bare:  keep the general registers around a call, for scale;
#   test:  the bare stub with the trampoline's emptying of the x87 stack, which is empty:
#          its emptiness test alone;
#   fxam:  the bare stub with FXAM of the empty x87 top, what a test reading a register pays.
#include "patch/TrampolineLayout.h"

    .intel_syntax noprefix
#include "patch/X87Stack.inc"
    .text

    .globl _bench_empty
    .p2align 4
_bench_empty:
    ret

    .globl _bench_floor_stub
    .p2align 4
_bench_floor_stub:
    pushfd
    pushad
    mov ebx, esp
    sub esp, 512
    and esp, -16
    fxsave [esp]
    call _bench_empty
    fxrstor [esp]
    mov esp, ebx
    popad
    popfd
    jmp dword ptr [_bench_floor_resume]

    .globl _bench_bare_stub
    .p2align 4
_bench_bare_stub:
    pushad
    call _bench_empty
    popad
    jmp dword ptr [_bench_bare_resume]

    .globl _bench_test_stub
    .p2align 4
_bench_test_stub:
    pushad
    mov ebx, esp
    sub esp, SAVE_AREA + SAVE_AREA_SIZE
    and esp, -16
    mov edi, offset _bench_full_x87_stack
    X87_EMPTY_STACK 1f, edi
    X87_PUSH_BACK
    fldcw word ptr [esp+SAVE_CONTROL]
1:  call _bench_empty
    mov esp, ebx
    popad
    jmp dword ptr [_bench_test_resume]

    .globl _bench_fxam_stub
    .p2align 4
_bench_fxam_stub:
    pushad
    fxam
    fnstsw ax
    call _bench_empty
    popad
    jmp dword ptr [_bench_fxam_resume]

    .data
    .globl _bench_floor_resume
_bench_floor_resume: .long 0
    .globl _bench_bare_resume
_bench_bare_resume: .long 0
    .globl _bench_test_resume
_bench_test_resume: .long 0
    .globl _bench_fxam_resume
_bench_fxam_resume: .long 0
_bench_full_x87_stack: .long 0
