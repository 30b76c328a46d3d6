# The simulated game's image range: one section from image base + 0x1000 up to 0xBC0000,
# holding the executable's entry point at RVA ENTRY_RVA. At an image base below 0x400000
# the section still ends at 0xBC0000, so the game's addresses 0x401000..0xBC0000 always
# lie inside it. The simulator fills them with the host routines and data the plug-in
# uses, then protects them.
#ifndef ENTRY_RVA
#define ENTRY_RVA 0x47E926
#endif
#ifndef IMAGE_BASE
#define IMAGE_BASE 0x400000
#endif
    .section .kavra,"dwx"
    .globl _kavra_image_start
_kavra_image_start:
    .space ENTRY_RVA - 0x1000
    .globl _kavra_entry
_kavra_entry:
    jmp _mainCRTStartup
    .space 0xBC0000 - IMAGE_BASE - ENTRY_RVA - 5
