# i686 Linux build of the portable engine and its native tests (Debian's g++-multilib):
# a 32-bit size_t, 64-bit file offsets and times, and x87 arithmetic, as the i686
# production build has them. Where this host cannot start i386 programs (scripts/i386-probe),
# the tests run through qemu-i386 (Debian's qemu-user), called explicitly;
# KVX_NATIVE32_EMULATOR names an emulator to use on any host.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(_kvx_m32 "-m32 -march=i686 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_C_FLAGS_INIT "${_kvx_m32}")
set(CMAKE_CXX_FLAGS_INIT "${_kvx_m32}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

set(KVX_NATIVE32_EMULATOR "$ENV{KVX_NATIVE32_EMULATOR}" CACHE STRING "Runs the i386 test programs (empty: directly where the host can)")
if(NOT KVX_NATIVE32_EMULATOR)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/i386-probe RESULT_VARIABLE _kvx_probe OUTPUT_QUIET)
  if(NOT _kvx_probe EQUAL 0)
    set(KVX_NATIVE32_EMULATOR qemu-i386 CACHE STRING "" FORCE)
  endif()
endif()
if(KVX_NATIVE32_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KVX_NATIVE32_EMULATOR})
endif()
