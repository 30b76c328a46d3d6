/* The register record and the per-site entry's stack reserve, as the trampoline's
   assembly uses them. Plain defines: RegisterTrampoline.S includes this file, and
   RegisterHook.h checks every value against the C++ record with static_assert. */
#pragma once

/* RegisterRecord: PUSHAD's order, then EFLAGS, then what the entry pushed. */
#define RECORD_EDI 0
#define RECORD_ESI 4
#define RECORD_EBP 8
#define RECORD_ESP 12
#define RECORD_EBX 16
#define RECORD_EDX 20
#define RECORD_ECX 24
#define RECORD_EAX 28
#define RECORD_EFLAGS 32
#define RECORD_RESUME 36
#define RECORD_HOOK 40
#define RECORD_PUSH_FLOAT 44
#define RECORD_FLOAT_RESULT 48
#define RECORD_SIZE 52

/* Below the record, the site's registers and EFLAGS as the game reached it, for the record
   to be put back from when a handler fails: the record's first fields, EDI to EFLAGS. */
#define SITE_STATE_SIZE 36

/* RegisterHookInfo: the address of the site's word that says it has met a full x87 stack
   (eight values in flight, or MMX state). */
#define HOOK_FULL_X87_STACK 8

/* X87EmptinessTest, as _morvane_x87_emptiness_test holds it. */
#define X87_TEST_PUSH 0
#define X87_TEST_EXAMINE 1
#define X87_TEST_TAG_WORD 2
#define X87_TEST_SAVED_TAGS 3

/* The entry lowers ESP by this much before it pushes anything, so that a handler may
   lower ESP a little; the trampoline keeps 8 of those bytes to lay the resume address
   just below the ESP it resumes with. */
#define ENTRY_STACK_RESERVE 64
#define RESUME_SLOTS_SIZE 8

/* ESP at the site, counted from the value PUSHAD stores: the reserve, the entry's four
   pushes (floatResult, pushFloat, hook, the call's return address) and PUSHFD. */
#define SITE_ESP_ABOVE_PUSHAD (ENTRY_STACK_RESERVE + 16 + 4)

/* Below the record, on a 16-byte aligned stack: the handler's argument at +0, two scratch
   words at +4 and +8, the game's x87 status word at +12, and from +16 an FXSAVE image of the
   game's x87/MMX/SSE state: whole where the state is odd (an exception pending, a register
   empty below one in use); else its control word, MXCSR, XMM0-7 and the x87 values in flight
   in their places, the rest filled in when the image must restore the status word, and an
   x87 environment image in the room left to software. */
#define SAVE_STATUS 12
#define SAVE_AREA 16
#define SAVE_AREA_SIZE 512
#define FXSAVE_CONTROL 0
#define FXSAVE_STATUS 2
#define FXSAVE_TAGS 4 /* abridged: one bit a register, 0 empty; FOP follows */
#define FXSAVE_MXCSR 24
#define FXSAVE_REGISTERS 32
#define FXSAVE_XMM 160
#define FXSAVE_FREE 464 /* 48 bytes the processor leaves to software */
#define SAVE_CONTROL (SAVE_AREA + FXSAVE_CONTROL)
#define SAVE_MXCSR (SAVE_AREA + FXSAVE_MXCSR)
#define SAVE_REGISTERS (SAVE_AREA + FXSAVE_REGISTERS)
#define SAVE_ENVIRONMENT (SAVE_AREA + FXSAVE_FREE)
#define SAVE_XMM (SAVE_AREA + FXSAVE_XMM)
