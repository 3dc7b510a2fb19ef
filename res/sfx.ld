/* The stub's layout: the linker's own for a Windows program, less what a program without a
   C runtime never has, and with the import tables inside the read-only data. The loader
   writes the import address table through a page it unprotects for the purpose (as it does
   for programs whose tables sit in read-only data by design), and one section fewer lets
   the headers fit in 512 bytes. */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + (__section_alignment__ < 0x1000 ? . : __section_alignment__) :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
  }
  .data BLOCK(__section_alignment__) :
  {
    *(.data)
    *(SORT(.data$*))
  }
  .rdata BLOCK(__section_alignment__) :
  {
    *(.rdata)
    *(SORT(.rdata$*))
    . = ALIGN(4);
    /* Sorted by the linker's own rule for these names; the zeroes end the import list. The
       linker finds the list only in a section of its own name: pe_tidy.py enters it in the
       headers from the two symbols. */
    __sfx_imports_start__ = .;
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    __sfx_imports_end__ = .;
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
    /* The lookup tables copy the address tables, which the loader reads in their place when
       a descriptor names none: pe_tidy.py clears the references and drops these from the
       file, so they end the section. */
    . = ALIGN(4);
    __sfx_lookup_start__ = .;
    KEEP (SORT(*)(.idata$4))
    __sfx_lookup_end__ = .;
  }
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss)
    *(COMMON)
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
  /DISCARD/ :
  {
    *(.debug$S)
    *(.debug$T)
    *(.debug$F)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
    *(.eh_frame*)
    *(.pdata*)
  }
}
