# The options of the Windows build of qtbase, read by cmake -C: what the program does not use is left
# out. tools/windows-qt.sh keys its cache folder on this file, so a change here builds Qt anew.
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(BUILD_SHARED_LIBS ON CACHE BOOL "")
set(QT_BUILD_EXAMPLES OFF CACHE BOOL "")
set(QT_BUILD_TESTS OFF CACHE BOOL "")
set(QT_BUILD_BENCHMARKS OFF CACHE BOOL "")
set(INPUT_opengl no CACHE STRING "")
foreach(feature opengl network sql dbus xml concurrent printsupport icu tabletevent direct2d directwrite3)
  set(FEATURE_${feature} OFF CACHE BOOL "")
endforeach()
# The third-party libraries come from qtbase's own copies: the cross compiler has none of its own.
foreach(library zlib png jpeg freetype harfbuzz pcre2)
  set(FEATURE_system_${library} OFF CACHE BOOL "")
endforeach()
