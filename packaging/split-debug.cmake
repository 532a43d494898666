# Splits a linked program into the stripped binary that the package installs and its debug symbols,
# filed under the program's build id (lib/debug/.build-id/xx/rest.debug) where gdb and
# systemd-coredump look for them. The stripped binary names the symbols file in its GNU debug link.
# cmake -DOBJCOPY=… -DSTRIP=… -DPROGRAM=linked -DSTRIPPED=output -DDEBUG_ROOT=folder -P split-debug.cmake
execute_process(COMMAND ${OBJCOPY} --dump-section .note.gnu.build-id=${STRIPPED}.build-id ${PROGRAM}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${PROGRAM} has no build id: link it with -Wl,--build-id")
endif()
# The note: name size, descriptor size and type (4 bytes each), the name "GNU\0", then the id.
file(READ ${STRIPPED}.build-id note HEX)
file(REMOVE ${STRIPPED}.build-id)
string(SUBSTRING "${note}" 32 -1 id)
string(SUBSTRING "${id}" 0 2 head)
string(SUBSTRING "${id}" 2 -1 rest)

file(REMOVE_RECURSE ${DEBUG_ROOT})
set(symbols ${DEBUG_ROOT}/.build-id/${head}/${rest}.debug)
file(MAKE_DIRECTORY ${DEBUG_ROOT}/.build-id/${head})
foreach(step "${OBJCOPY};--only-keep-debug;--compress-debug-sections;${PROGRAM};${symbols}"
             "${STRIP};--remove-section=.comment;--remove-section=.note;-o;${STRIPPED};${PROGRAM}"
             "${OBJCOPY};--add-gnu-debuglink=${symbols};${STRIPPED}")
  execute_process(COMMAND ${step} RESULT_VARIABLE failed)
  if(failed)
    string(REPLACE ";" " " step "${step}")
    message(FATAL_ERROR "failed: ${step}")
  endif()
endforeach()
file(CHMOD ${symbols} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
