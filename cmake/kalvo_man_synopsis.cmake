# Prepares a program's manual page for help2man, which takes a single "Usage:" line as the
# synopsis and leaves the rest of a longer usage block at the top of DESCRIPTION. The whole
# usage block of --help becomes the SYNOPSIS section of the include file (unless the include
# file has its own), and help2man reads a --help whose usage is one line, through a wrapper.
# cmake -DPROGRAM=path -DNAME=name -DINCLUDE=h2m -DOUTPUT_DIR=dir [-DEMULATOR=command]
#       -P kalvo_man_synopsis.cmake
# EMULATOR runs a cross-built program (a list: the command and its arguments).
string(REPLACE ";" " " emulator "${EMULATOR}")
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
string(FIND "${help}" "\n\n" end)
string(SUBSTRING "${help}" 0 ${end} usage)
math(EXPR rest_start "${end} + 1")
string(SUBSTRING "${help}" ${rest_start} -1 rest)
file(READ ${INCLUDE} include)

if(NOT include MATCHES "\\[SYNOPSIS\\]")
    # Roff: backslashes and dashes escaped; "Usage: " and the indent that aligns with it go.
    string(REPLACE "\\" "\\\\" synopsis "${usage}")
    string(REPLACE "-" "\\-" synopsis "${synopsis}")
    string(REGEX REPLACE "^Usage: " "" synopsis "${synopsis}")
    string(REPLACE "\n       " "\n" synopsis "${synopsis}")
    set(include "[SYNOPSIS]\n.nf\n${synopsis}\n.fi\n\n${include}")
endif()
file(WRITE ${OUTPUT_DIR}/${NAME}.h2m "${include}")
file(WRITE ${OUTPUT_DIR}/${NAME}.help "Usage: ${NAME} [OPTION]...\n${rest}")
file(WRITE ${OUTPUT_DIR}/${NAME}.help.sh
     "#!/bin/sh\ncase \"$1\" in\n--help) cat '${OUTPUT_DIR}/${NAME}.help' ;;\n"
     "*) exec ${emulator} '${PROGRAM}' \"$@\" ;;\nesac\n")
file(CHMOD ${OUTPUT_DIR}/${NAME}.help.sh PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
