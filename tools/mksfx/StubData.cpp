// The stub's bytes, cross-built from this tree, linked into the packer.
#ifndef SFX_STUB_PATH
#error "SFX_STUB_PATH names the stub to embed"
#endif

__asm__(".section .rodata\n"
        ".balign 16\n"
        ".globl SfxStubStart\n"
        "SfxStubStart:\n"
        ".incbin \"" SFX_STUB_PATH "\"\n"
        ".globl SfxStubEnd\n"
        "SfxStubEnd:\n"
        ".previous\n");
