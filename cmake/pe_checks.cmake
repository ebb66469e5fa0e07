# Checks of the built executable that need no Windows to run: the PE format of the build and
# an import table holding nothing but KERNEL32.dll and the C runtime.
find_program(KELTO_OBJDUMP NAMES ${CMAKE_CXX_COMPILER_TARGET}-objdump x86_64-w64-mingw32-objdump
                                 i686-w64-mingw32-objdump objdump REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KELTO_EXPECTED_FORMAT "pei-x86-64")
else()
  set(KELTO_EXPECTED_FORMAT "pei-i386")
endif()
add_test(NAME pe_format_and_imports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${KELTO_OBJDUMP} -DEXE=$<TARGET_FILE:kelto>
          -DFORMAT=${KELTO_EXPECTED_FORMAT} -P ${CMAKE_SOURCE_DIR}/cmake/check_pe.cmake)
