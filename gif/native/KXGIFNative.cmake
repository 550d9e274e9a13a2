# The GIF reader's loading path as a native (Linux) static library, for the sanitizer tests, the
# fuzzers and the benchmark: the portable reader sources, the framework's portable core, the
# picture stand-ins and the no-rendering half. Sets KX_GIF_NATIVE_SOURCES and KX_GIF_ROOT; call
# kx_gif_native_library(name).
get_filename_component(KX_GIF_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
include(${KX_GIF_ROOT}/framework/NativeCore.cmake)
set(KX_GIF_NATIVE_SOURCES
    ${KX_GIF_ROOT}/gif/KXGIFBase.cpp
    ${KX_GIF_ROOT}/gif/KXGIFColorMap.cpp
    ${KX_GIF_ROOT}/gif/KXGIFExtensions.cpp
    ${KX_GIF_ROOT}/gif/KXGIFFrameStore.cpp
    ${KX_GIF_ROOT}/gif/KXGIFLZW.cpp
    ${KX_GIF_ROOT}/gif/KXGIFImage.cpp
    ${KX_GIF_ROOT}/gif/native/KXGIFRenderNative.cpp
    ${KX_GIF_ROOT}/gif/native/NativeGraphics.cpp
    ${KX_FRAMEWORK_CORE_SOURCES})

function(kx_gif_native_library name)
  add_library(${name} STATIC ${KX_GIF_NATIVE_SOURCES})
  target_include_directories(${name} PUBLIC ${KX_GIF_ROOT})
  target_compile_features(${name} PUBLIC cxx_std_20)
  target_compile_options(${name} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()
