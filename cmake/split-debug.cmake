# Run at install time (kx_install_stripped in CMakeLists.txt): writes the installed binary from the
# build tree's one without its debug information and symbol table, and that information into
# NAME.debug beside it, named by the binary's .gnu_debuglink section so that gdb and winedbg find
# it. Working from the build tree's file keeps a repeated install from splitting a stripped file.
# In: KX_OBJCOPY, KX_BUILT (the unstripped file), KX_INSTALLED (its installed path).
set(debug_file "${KX_INSTALLED}.debug")
message(STATUS "Stripping: ${KX_INSTALLED} (debug information in ${debug_file})")
execute_process(COMMAND "${KX_OBJCOPY}" --only-keep-debug "${KX_BUILT}" "${debug_file}" COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${KX_OBJCOPY}" --strip-debug --strip-unneeded "--add-gnu-debuglink=${debug_file}"
                        "${KX_BUILT}" "${KX_INSTALLED}" COMMAND_ERROR_IS_FATAL ANY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${debug_file}")
