# Shared by both toolchain files: KX_MINGW_TRIPLE names the cross compiler.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${KX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Rebuilds of the same sources (another work tree, a clean build) come from ccache where it is
# installed; KX_NO_CCACHE turns that off.
find_program(KX_CCACHE ccache)
if(KX_CCACHE AND NOT KX_NO_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${KX_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${KX_CCACHE})
endif()
