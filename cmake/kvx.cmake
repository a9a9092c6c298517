# Build conventions shared by every folder: warnings, the Windows-1252 execution
# character set, sanitizers for the native presets, static Windows programs, and
# the two kinds of tests (GoogleTest programs and Python checks against outside tools).

set(KVX_WINDOWS ${WIN32})
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

# Warnings are errors in every preset (KVX_WERROR=OFF only to look at a new compiler's).
option(KVX_WERROR "Treat compiler warnings as errors" ON)
add_compile_options(-Wall -Wextra -Wshadow)
if(KVX_WERROR)
  add_compile_options(-Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=CP1252>")
  # GCC 12 reports a false -Wrestrict overlap inside std::string's operator+ (GCC bug 105651).
  add_compile_options(-Wno-restrict)
elseif(NOT KVX_FUZZ)
  message(FATAL_ERROR "Windows-1252 texts need GCC's -fexec-charset; clang builds only the fuzz targets")
endif()

# The fuzz build (clang, libFuzzer): the parsers' libraries carry coverage counters and
# their literals are ASCII, so clang's UTF-8 execution character set gives the same bytes.
# KVX_FUZZ_COVERAGE instead counts lines for llvm-cov (scripts/fuzz --coverage).
if(KVX_FUZZ_COVERAGE)
  add_compile_options(-fprofile-instr-generate -fcoverage-mapping)
  add_link_options(-fprofile-instr-generate)
elseif(KVX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(KVX_SANITIZE)
  list(JOIN KVX_SANITIZE "," _kvx_san)
  add_compile_options(-fsanitize=${_kvx_san} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${_kvx_san})
  if("undefined" IN_LIST KVX_SANITIZE)
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

if(KVX_WINDOWS)
  # Programs and DLLs carry their runtime so that they run under wine with no extra DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run)
  enable_language(RC)
endif()

# kvx_strict_conversions(TARGET...)
# -Wconversion -Wsign-conversion (errors with the other warnings) on the i686 production
# build, where size_t and std::streamsize are 32 bits: a 64-bit size narrowed without a
# check would be cut down there and nowhere else.
function(kvx_strict_conversions)
  if(KVX_WINDOWS AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    foreach(target ${ARGN})
      target_compile_options(${target} PRIVATE -Wconversion -Wsign-conversion)
    endforeach()
  endif()
endfunction()

# kvx_version_resource(TARGET DESCRIPTION text [MANIFEST])
# The version resource of a shipped program or DLL: product, company, the project's
# version, original file name and description; with MANIFEST, the application manifest
# too (common controls 6, run as the invoker, the Windows versions it supports).
# Call it after the target's OUTPUT_NAME and SUFFIX are set.
set(KVX_COMPANY "KVX")
function(kvx_version_resource target)
  if(NOT KVX_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(V "MANIFEST" "DESCRIPTION" "" ${ARGN})
  get_target_property(KVX_INTERNAL_NAME ${target} OUTPUT_NAME)
  if(NOT KVX_INTERNAL_NAME)
    set(KVX_INTERNAL_NAME ${target})
  endif()
  get_target_property(_type ${target} TYPE)
  get_target_property(_suffix ${target} SUFFIX)
  if(_type STREQUAL "EXECUTABLE")
    set(KVX_FILE_TYPE VFT_APP)
    set(_default_suffix ${CMAKE_EXECUTABLE_SUFFIX})
  else()
    set(KVX_FILE_TYPE VFT_DLL)
    set(_default_suffix ${CMAKE_SHARED_LIBRARY_SUFFIX})
  endif()
  if(NOT _suffix)
    set(_suffix ${_default_suffix})
  endif()
  set(KVX_ORIGINAL_NAME ${KVX_INTERNAL_NAME}${_suffix})
  set(KVX_DESCRIPTION ${V_DESCRIPTION})
  set(KVX_VERSION_DOTS ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
  string(REPLACE "." "," KVX_VERSION_COMMAS ${KVX_VERSION_DOTS})
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  set(KVX_MANIFEST_RESOURCE "")
  if(V_MANIFEST)
    set(_manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/application.manifest.in ${_manifest} @ONLY)
    set(KVX_MANIFEST_RESOURCE "1 24 \"${_manifest}\"  // CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST")
    set_source_files_properties(${_rc} PROPERTIES OBJECT_DEPENDS ${_manifest})
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()

# Python checks run with Debian's interpreter, which sees Debian's python3-* modules.
set(KVX_PYTHON /usr/bin/python3)

# GoogleTest from Debian's sources, built with the current toolchain and flags.
set(KVX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Its own warnings are not ours to fix: it is built without -Werror and -Wshadow.
get_directory_property(_kvx_options COMPILE_OPTIONS)
set(_kvx_gtest_options ${_kvx_options})
list(REMOVE_ITEM _kvx_gtest_options -Werror -Wshadow)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_kvx_gtest_options}")
add_subdirectory(${KVX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_kvx_options}")

# kvx_add_gtest(NAME SOURCES file... [LIBS lib...] [LABELS label...] [TIMEOUT s] [THREADS])
# One CTest entry per program (under wine a process start costs more than a test case).
# THREADS marks a threaded engine test: it runs again in the tsan preset.
add_custom_target(kvx_threads)
function(kvx_add_gtest name)
  cmake_parse_arguments(T "THREADS" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set(_labels ${T_LABELS})
  if(T_THREADS)
    list(APPEND _labels threads)
    add_dependencies(kvx_threads ${name})
  endif()
  if(KVX_WINDOWS)
    list(APPEND _labels wine)
  else()
    list(APPEND _labels native)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${_labels}")
endfunction()

# kvx_add_pytest(NAME SCRIPT file [LABELS label...] [TIMEOUT s] [DEPENDS target...])
# A Python unittest script; it finds the build through KVX_BUILD_DIR and the sources
# through KVX_SOURCE_DIR.
function(kvx_add_pytest name)
  cmake_parse_arguments(T "" "SCRIPT;TIMEOUT" "LABELS;DEPENDS" ${ARGN})
  # Native programs of another architecture (native32 through qemu-i386): the tests' run()
  # prefixes it (tests/support/kvxtest.py); Windows programs go through wine-run themselves.
  set(_kvx_emulator "")
  if(NOT KVX_WINDOWS AND CMAKE_CROSSCOMPILING_EMULATOR)
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " _kvx_joined)
    set(_kvx_emulator "KVX_EMULATOR=${_kvx_joined}")
  endif()
  add_test(NAME ${name} COMMAND ${KVX_PYTHON} -m unittest -v ${T_SCRIPT}
           WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 900)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS};python"
    ENVIRONMENT "KVX_BUILD_DIR=${CMAKE_BINARY_DIR};KVX_SOURCE_DIR=${PROJECT_SOURCE_DIR};PYTHONDONTWRITEBYTECODE=1;${_kvx_emulator}")
endfunction()

# Programs, DLLs and test programs side by side, so that the loader finds the DLLs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
