# Native build of the parsers of foreign blocks (formats/ units without Windows headers): their
# table-driven tests (tests/blocks, shared with the Windows build) under AddressSanitizer and
# UndefinedBehaviorSanitizer, and one libFuzzer target per parser. Included by fuzz/CMakeLists.txt,
# which sets KX_SANITIZERS and brings GoogleTest in.
set(KX_BLOCKS_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
set(KX_BLOCKS_SOURCES
  ${KX_BLOCKS_ROOT}/formats/KXBlockBytes.cpp
  ${KX_BLOCKS_ROOT}/formats/KXUtilBlocks.cpp
  ${KX_BLOCKS_ROOT}/formats/KXFileGroupBlock.cpp
  ${KX_BLOCKS_ROOT}/formats/KXSafeNames.cpp
  ${KX_BLOCKS_ROOT}/formats/KXDIBBlock.cpp
  ${KX_BLOCKS_ROOT}/formats/KXHTMLBlock.cpp
  ${KX_BLOCKS_ROOT}/formats/KXNetscapeImageBlock.cpp
  ${KX_BLOCKS_ROOT}/formats/KXMetafilePictBlock.cpp)

add_library(kx_blocks STATIC ${KX_BLOCKS_SOURCES})
target_include_directories(kx_blocks PUBLIC ${KX_BLOCKS_ROOT})
target_compile_options(kx_blocks PUBLIC ${KX_SANITIZERS} -Wall -Wextra)
target_link_options(kx_blocks PUBLIC ${KX_SANITIZERS})

file(GLOB kx_blocks_tests CONFIGURE_DEPENDS ${KX_BLOCKS_ROOT}/tests/blocks/*.cpp)
add_executable(kx_blocks_native_tests ${kx_blocks_tests})
target_link_libraries(kx_blocks_native_tests PRIVATE kx_blocks gtest_main)
add_test(NAME kx_blocks_native_tests COMMAND kx_blocks_native_tests --gtest_brief=1)

# The fuzzers, each named after its corpus in fuzz/corpus/<name>.
set(KX_BLOCK_FUZZERS hdrop filegroup dib html netscape_image metafilepict hdrop_roundtrip mozurl html_roundtrip
    filegroup_records safenames)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_library(kx_blocks_fuzz STATIC ${KX_BLOCKS_SOURCES})
  target_include_directories(kx_blocks_fuzz PUBLIC ${KX_BLOCKS_ROOT})
  target_compile_options(kx_blocks_fuzz PUBLIC -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                                               -fno-omit-frame-pointer)
  foreach(name IN LISTS KX_BLOCK_FUZZERS)
    add_executable(${name}_fuzzer ${CMAKE_CURRENT_LIST_DIR}/${name}_fuzzer.cpp)
    target_link_libraries(${name}_fuzzer PRIVATE kx_blocks_fuzz)
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined)
  endforeach()
endif()
