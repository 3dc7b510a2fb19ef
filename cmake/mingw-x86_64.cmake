# Cross build of the packer for 64-bit Windows: the 32-bit toolchain's settings, for x86_64.
set(SFX_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
