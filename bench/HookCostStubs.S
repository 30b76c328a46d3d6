# Two stubs to set the register hook's cost against, each entered by a jump from a host
# site and leaving by an (always predicted) indirect jump to the site's resume address.
#   floor: what any hook that is safe inside the game must do at least: keep EFLAGS,
#          the general registers and the x87/MMX/SSE state around an aligned call;
#   bare:  keep the general registers around a call, for scale.
    .intel_syntax noprefix
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

    .data
    .globl _bench_floor_resume
_bench_floor_resume: .long 0
    .globl _bench_bare_resume
_bench_bare_resume: .long 0
