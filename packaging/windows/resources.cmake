# The program's Windows resources: its icon, drawn from the picture the Linux desktop shows, its
# version, which Explorer shows in the file's properties, and its application manifest. The installer
# uses the same icon.
enable_language(RC)
find_program(ORTEX_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ORTEX_ICOTOOL icotool REQUIRED)

set(ORTEX_WINDOWS_DIR ${CMAKE_BINARY_DIR}/windows)
set(ORTEX_ICON ${ORTEX_WINDOWS_DIR}/configortex.ico)
set(picture ${CMAKE_SOURCE_DIR}/packaging/configortex.svg)
set(draw_commands)
set(small_pictures)
foreach(size 16 24 32 48 64)
  list(APPEND draw_commands COMMAND ${ORTEX_RSVG_CONVERT} -w ${size} -h ${size} -o ${ORTEX_WINDOWS_DIR}/icon-${size}.png ${picture})
  list(APPEND small_pictures ${ORTEX_WINDOWS_DIR}/icon-${size}.png)
endforeach()
# Windows keeps the 256-pixel picture as PNG inside the icon (--raw), the small ones as bitmaps.
add_custom_command(OUTPUT ${ORTEX_ICON}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${ORTEX_WINDOWS_DIR}
                   ${draw_commands}
                   COMMAND ${ORTEX_RSVG_CONVERT} -w 256 -h 256 -o ${ORTEX_WINDOWS_DIR}/icon-256.png ${picture}
                   COMMAND ${ORTEX_ICOTOOL} -c -o ${ORTEX_ICON} ${small_pictures} --raw=${ORTEX_WINDOWS_DIR}/icon-256.png
                   DEPENDS ${picture} VERBATIM)

# "2.04" is file version 2.4.0.0.
string(REGEX REPLACE "^0+([0-9])" "\\1" minor "${PROJECT_VERSION_MINOR}")
set(ORTEX_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${minor},0,0)
set(ORTEX_VERSION_DOTS ${PROJECT_VERSION_MAJOR}.${minor}.0.0)
set(ORTEX_MANIFEST ${ORTEX_WINDOWS_DIR}/ConfigOrtex.manifest)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/ConfigOrtex.manifest ${ORTEX_MANIFEST} @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/ConfigOrtex.rc.in ${ORTEX_WINDOWS_DIR}/ConfigOrtex.rc @ONLY)
target_sources(ConfigOrtex PRIVATE ${ORTEX_WINDOWS_DIR}/ConfigOrtex.rc)
set_source_files_properties(${ORTEX_WINDOWS_DIR}/ConfigOrtex.rc PROPERTIES OBJECT_DEPENDS "${ORTEX_ICON};${ORTEX_MANIFEST}")
