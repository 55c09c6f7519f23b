# One program's manual page, made by help2man from the program's own --help
# and --version, so the page cannot drift from the options; gzipped as Debian
# wants it (-9, no name, no time stamp):
#
#   cmake -DHELP2MAN=help2man -DPROGRAM=/path/to/tav47-sim -DNAME="what it is"
#         -DINCLUDE=file.h2m -DEPOCH=<seconds> -DOUT=tav47-sim.1.gz -P ManPage.cmake

get_filename_component(folder "${PROGRAM}" DIRECTORY)
get_filename_component(program "${PROGRAM}" NAME)
# Run by its bare name, so the usage line names it, not the build folder.
set(ENV{PATH} "${folder}:$ENV{PATH}")
# The page's date is the release's, and its words those of no local language.
set(ENV{SOURCE_DATE_EPOCH} "${EPOCH}")
set(ENV{LC_ALL} C.UTF-8)
string(REGEX REPLACE "\\.gz$" "" page "${OUT}")
execute_process(
    COMMAND "${HELP2MAN}" --no-info --section=1 --name=${NAME} --include=${INCLUDE}
            --output=${page} ${program}
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "help2man could not make the page of ${program}")
endif()
execute_process(COMMAND gzip -9nc INPUT_FILE "${page}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "gzip failed on ${page}")
endif()
