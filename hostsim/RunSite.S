# Runs host code from a site with given registers, and captures the machine state when
# that code reaches a planted resume jump or returns through a planted return address.
#
# sim_cpu_in / sim_cpu_out: edi esi ebp esp ebx edx ecx eax eflags eip (offsets 0..36)

    .intel_syntax noprefix
    .text

    .globl _sim_run_site
    .p2align 4
_sim_run_site:
    push ebp
    push ebx
    push esi
    push edi
    pushfd
    mov [_sim_caller_esp], esp

    fninit
    cmp word ptr [_sim_x87_control_in], 0
    je 1f
    fldcw [_sim_x87_control_in]     # the game's control word, as Direct3D sets it
1:  mov ecx, [_sim_x87_count]
    mov edx, offset _sim_x87_in
1:  test ecx, ecx
    jz 2f
    fld dword ptr [edx]
    add edx, 4
    dec ecx
    jmp 1b
2:  cmp dword ptr [_sim_x87_pending_in], 0
    je 2f
    sub esp, 28                     # a zero divide unmasked and pending (ES), the stack
    fnstenv [esp]                   # as it is: the next waiting instruction delivers it
    and word ptr [esp], 0xFFFB
    or word ptr [esp+4], 0x8084
    fldenv [esp]
    add esp, 28
2:  cmp dword ptr [_sim_mxcsr_in], 0
    je 2f
    ldmxcsr [_sim_mxcsr_in]
2:
    movdqu xmm0, [_sim_xmm_in + 0]
    movdqu xmm1, [_sim_xmm_in + 16]
    movdqu xmm2, [_sim_xmm_in + 32]
    movdqu xmm3, [_sim_xmm_in + 48]
    movdqu xmm4, [_sim_xmm_in + 64]
    movdqu xmm5, [_sim_xmm_in + 80]
    movdqu xmm6, [_sim_xmm_in + 96]
    movdqu xmm7, [_sim_xmm_in + 112]

    mov eax, offset _sim_cpu_in
    mov esp, [eax + 12]
    push dword ptr [eax + 36]       # the site
    push dword ptr [eax + 32]       # EFLAGS
    mov edi, [eax + 0]
    mov esi, [eax + 4]
    mov ebp, [eax + 8]
    mov ebx, [eax + 16]
    mov edx, [eax + 20]
    mov ecx, [eax + 24]
    mov eax, [eax + 28]
    popfd
    ret                             # into the host code, ESP as given

    .globl _sim_capture_return
    .p2align 4
_sim_capture_return:
    mov dword ptr [_sim_exit_kind], 2
    jmp 3f

    .globl _sim_capture_resume
    .p2align 4
_sim_capture_resume:
    mov dword ptr [_sim_exit_kind], 1
3:
    mov [_sim_cpu_out + 0], edi
    mov [_sim_cpu_out + 4], esi
    mov [_sim_cpu_out + 8], ebp
    mov [_sim_cpu_out + 12], esp
    mov [_sim_cpu_out + 16], ebx
    mov [_sim_cpu_out + 20], edx
    mov [_sim_cpu_out + 24], ecx
    mov [_sim_cpu_out + 28], eax
    pushfd
    pop dword ptr [_sim_cpu_out + 32]
    fxsave [_sim_fx_out]

    mov esp, [_sim_caller_esp]
    popfd
    pop edi
    pop esi
    pop ebx
    pop ebp
    fninit
    sub esp, 4
    mov dword ptr [esp], 0x1F80
    ldmxcsr [esp]
    add esp, 4
    ret

# What a game routine placed by the simulator does first: it changes XMM0-7, raises the
# precision flag in MXCSR and the zero-divide and precision flags of the x87, and uses all
# eight x87 registers (a stack not left empty by the caller is overwritten, as the calling
# convention allows). Every general register and the control words are kept.
    .globl _sim_clobber_float_state
    .p2align 4
_sim_clobber_float_state:
    cmp dword ptr [_sim_clobbering], 0
    je 2f
    .irp n, 0, 1, 2, 3, 4, 5, 6, 7
    movups xmm\n, [_sim_clobber_pattern]
    .endr
    movss xmm1, [_sim_clobber_pattern+4]
    divss xmm0, xmm1                # 3/7, inexact: PE in MXCSR
    .rept 6
    fld1
    .endr
    fldz
    fdivp st(1), st                 # 1/0: ZE (masked where the caller masks it)
    fld1
    fld dword ptr [_sim_clobber_pattern]
    fdivp st(1), st                 # 1/3 with the eighth register in use: PE
    .rept 7
    fstp st(0)
    .endr
2:  ret

    .section .rdata, "dr"
    .p2align 4
_sim_clobber_pattern:
    .long 0x40400000, 0x40E00000, 0x0BADF00D, 0x7FC00001   # 3.0, 7.0, anything
    .text

# sim_call_site(site, registers, slots): calls host code at `site` as a host caller would,
# with EAX ECX EDX EBX ESI EDI EBP from registers[0..6] and the 32 slots of `slots` above
# the return address ([ESP+4] at the site is slots[0]); the code must come back by a
# return that leaves ESP as it was at the site plus 4. Writes the registers and EFLAGS it
# came back with into registers[0..7]. Uses no global: any number of threads at once.
    .globl _sim_call_site
    .p2align 4
_sim_call_site:
    push ebp
    push ebx
    push esi
    push edi
    mov eax, [esp+24]               # registers
    push eax                        # kept above the slots
    mov esi, [esp+32]               # slots
    mov ecx, 32
1:  push dword ptr [esi+ecx*4-4]
    dec ecx
    jnz 1b
    mov ecx, [eax+4]
    mov edx, [eax+8]
    mov ebx, [eax+12]
    mov esi, [eax+16]
    mov edi, [eax+20]
    mov ebp, [eax+24]
    mov eax, [eax+0]
    call dword ptr [esp+128+24]     # the site, read before the return address is pushed
    # Back with ESP at slots[0].
    pushfd
    push eax
    mov eax, [esp+8+128]            # registers
    pop dword ptr [eax+0]
    pop dword ptr [eax+28]
    mov [eax+4], ecx
    mov [eax+8], edx
    mov [eax+12], ebx
    mov [eax+16], esi
    mov [eax+20], edi
    mov [eax+24], ebp
    add esp, 128 + 4
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret
