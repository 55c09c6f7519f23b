# What the Debian package carries beside the programs: the copyright file,
# the changelog made from CHANGELOG.md, a manual page per program made by
# help2man, and the AppStream metadata. Built with everything, installed by
# `cmake --install` and so packaged by CPack.

include(${CMAKE_CURRENT_LIST_DIR}/DebianChangelog.cmake)

# CHANGELOG.md begins with the version being built: its date is the release
# date the metadata, the changelog and the manual pages give.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md tav47_headings REGEX "^## ")
list(GET tav47_headings 0 tav47_newest)
if(NOT tav47_newest MATCHES "^## ([^ ]+) \\(([0-9-]+)\\)$")
    message(FATAL_ERROR "CHANGELOG.md: the first section is not '## VERSION (YYYY-MM-DD)'")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "CHANGELOG.md begins with version ${CMAKE_MATCH_1}, but this is "
                        "${PROJECT_VERSION}: add its section")
endif()
set(TAV47_RELEASE_DATE ${CMAKE_MATCH_2})
tav47_release_day(${TAV47_RELEASE_DATE} tav47_release_days tav47_weekday)
math(EXPR TAV47_RELEASE_EPOCH "${tav47_release_days} * 86400")

set(tav47_docs ${PROJECT_BINARY_DIR}/packaging)
set(tav47_metainfo ${tav47_docs}/io.github.tav47.tav47.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/packaging/io.github.tav47.tav47.metainfo.xml.in
               ${tav47_metainfo} @ONLY)

add_custom_command(
    OUTPUT ${tav47_docs}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/CHANGELOG.md
            -DOUT=${tav47_docs}/changelog.gz -DPACKAGE=${CPACK_PACKAGE_NAME}
            -DMAINTAINER=${CPACK_PACKAGE_CONTACT} -P ${CMAKE_CURRENT_LIST_DIR}/DebianChangelog.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/DebianChangelog.cmake
    VERBATIM)
set(tav47_doc_files ${tav47_docs}/changelog.gz)

# What each page's NAME line says the program is.
set(tav47_purpose_tav47 "host tool for the TAV47 laser range finder")
set(tav47_purpose_tav47-capture "capture TAV47 measurements from the command line")
set(tav47_purpose_tav47-demo "the TAV47 host tool with a simulated range finder")
set(tav47_purpose_tav47-sim "a simulated TAV47 range finder on a pseudo-terminal")

# The pages run the programs just built, which a cross build cannot; a
# sanitizer build would run them under its leak check, for pages no package
# is made from.
find_program(HELP2MAN help2man)
set(tav47_man_pages)
if(NOT HELP2MAN)
    message(STATUS "help2man not found: no manual pages (scripts/setup installs it)")
elseif(CMAKE_CROSSCOMPILING OR TAV47_SANITIZE)
    message(STATUS "Cross-compiling or sanitizing: no manual pages")
else()
    foreach(program tav47 tav47-capture tav47-demo tav47-sim)
        if(NOT TARGET ${program})
            continue()
        endif()
        set(page ${tav47_docs}/${program}.1.gz)
        add_custom_command(
            OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${HELP2MAN} -DPROGRAM=$<TARGET_FILE:${program}>
                    -DNAME=${tav47_purpose_${program}}
                    -DINCLUDE=${PROJECT_SOURCE_DIR}/packaging/tav47.h2m
                    -DEPOCH=${TAV47_RELEASE_EPOCH} -DOUT=${page}
                    -P ${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake
            DEPENDS ${program} ${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake
                    ${PROJECT_SOURCE_DIR}/packaging/tav47.h2m
            VERBATIM)
        list(APPEND tav47_man_pages ${page})
    endforeach()
endif()
add_custom_target(tav47-docs ALL DEPENDS ${tav47_doc_files} ${tav47_man_pages})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${tav47_doc_files}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(tav47_man_pages)
    install(FILES ${tav47_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${tav47_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
