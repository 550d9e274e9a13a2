# The framework's portable core (objects, components, lists, streams, exceptions, formatting and
# string helpers) for native builds outside Windows, with the POSIX half of what the system
# provides. The Windows build compiles all of framework/ but the *Posix.cpp files.
# Sets KX_FRAMEWORK_CORE_SOURCES.
set(KX_FRAMEWORK_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Classes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Streams.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StreamsPosix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SysUtils.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SysUtilsPosix.cpp)
