// The stub's bytes, cross-built from this tree, linked into the packer: the plain one and the
// one whose manifest asks for administrator rights.
#if !defined(SFX_STUB_PATH) || !defined(SFX_ADMIN_STUB_PATH)
#error "SFX_STUB_PATH and SFX_ADMIN_STUB_PATH name the stubs to embed"
#endif

#define SFX_EMBED(name, path)                                                                      \
    ".balign 16\n"                                                                                 \
    ".globl " name "Start\n" name "Start:\n"                                                       \
    ".incbin \"" path "\"\n"                                                                       \
    ".globl " name "End\n" name "End:\n"

__asm__(".section .rodata\n" SFX_EMBED("SfxStub", SFX_STUB_PATH)
            SFX_EMBED("SfxAdminStub", SFX_ADMIN_STUB_PATH) ".previous\n");
