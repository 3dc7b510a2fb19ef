# The Windows packer's compressors: libdeflate and zopfli built from Debian's source packages of
# the very versions the Linux packer links, so that the two packers write the same bytes.
# scripts/setup fetches and unpacks them under build/deps and writes where they are.
set(SFX_DEPS_FILE ${CMAKE_SOURCE_DIR}/build/deps/sources.cmake)
if(NOT EXISTS ${SFX_DEPS_FILE})
    message(FATAL_ERROR "${SFX_DEPS_FILE} is missing: scripts/setup fetches the sources")
endif()
include(${SFX_DEPS_FILE})

# Their own optimisation, as their builds use it; their warnings are not ours to fix.
file(GLOB SFX_LIBDEFLATE_FILES ${SFX_LIBDEFLATE_SOURCE}/lib/*.c ${SFX_LIBDEFLATE_SOURCE}/lib/x86/*.c)
add_library(deflate STATIC ${SFX_LIBDEFLATE_FILES})
target_include_directories(deflate SYSTEM PUBLIC ${SFX_LIBDEFLATE_SOURCE})
target_compile_options(deflate PRIVATE -O2 -w)

file(GLOB SFX_ZOPFLI_FILES ${SFX_ZOPFLI_SOURCE}/src/zopfli/*.c)
list(FILTER SFX_ZOPFLI_FILES EXCLUDE REGEX "zopfli_bin\\.c$")
add_library(zopfli STATIC ${SFX_ZOPFLI_FILES})
target_include_directories(zopfli SYSTEM PUBLIC ${SFX_ZOPFLI_SOURCE}/src)
target_compile_options(zopfli PRIVATE -O2 -w)
