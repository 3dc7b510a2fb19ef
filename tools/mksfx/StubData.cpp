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

// The compiler names a section before each function it emits, so ending in .text is safe.
#if defined(_WIN32)
#define SFX_READ_ONLY ".section .rdata,\"dr\"\n"
#else
#define SFX_READ_ONLY ".section .rodata\n"
#endif

__asm__(SFX_READ_ONLY SFX_EMBED("SfxStub", SFX_STUB_PATH)
            SFX_EMBED("SfxAdminStub", SFX_ADMIN_STUB_PATH) ".text\n");
