# CHANGELOG.md as the changelog a Debian native package carries, gzipped as
# Debian wants it (-9, no name, no time stamp), so lintian and
# dpkg-parsechangelog read it:
#
#   cmake -DIN=CHANGELOG.md -DOUT=changelog.gz -DPACKAGE=tav47
#         -DMAINTAINER="Name <address>" -P DebianChangelog.cmake
#
# Included, it only defines tav47_release_day().

# The day of `date` (YYYY-MM-DD) as days since 1970-01-01 in *days and its
# name ("Tue") in *weekday: Debian's dates name the day, and help2man dates
# its pages from SOURCE_DATE_EPOCH. Howard Hinnant's days_from_civil.
function(tav47_release_day date days weekday)
    if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
        message(FATAL_ERROR "not a YYYY-MM-DD date: '${date}'")
    endif()
    set(y "${CMAKE_MATCH_1}")
    set(m "${CMAKE_MATCH_2}")
    set(d "${CMAKE_MATCH_3}")
    # Without leading zeros, which a number reader may take for octal.
    string(REGEX REPLACE "^0" "" m "${m}")
    string(REGEX REPLACE "^0" "" d "${d}")
    if(m LESS_EQUAL 2)
        math(EXPR y "${y} - 1")
        math(EXPR mp "${m} + 9")
    else()
        math(EXPR mp "${m} - 3")
    endif()
    math(EXPR era "${y} / 400")
    math(EXPR yoe "${y} - ${era} * 400")
    math(EXPR doy "(153 * ${mp} + 2) / 5 + ${d} - 1")
    math(EXPR doe "${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy}")
    math(EXPR n "${era} * 146097 + ${doe} - 719468")
    math(EXPR w "(${n} + 4) % 7") # 1970-01-01 was a Thursday
    set(names Sun Mon Tue Wed Thu Fri Sat)
    list(GET names ${w} name)
    set(${days} ${n} PARENT_SCOPE)
    set(${weekday} ${name} PARENT_SCOPE)
endfunction()

if(NOT CMAKE_SCRIPT_MODE_FILE OR NOT CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    return()
endif()

set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
# Lines as a list: the text's own semicolons held aside first.
file(READ "${IN}" content)
string(REPLACE ";" "<semicolon>" content "${content}")
string(REPLACE "\n" ";" lines "${content}")
set(text "")
set(entry_open FALSE)
foreach(line IN LISTS lines)
    string(REPLACE "<semicolon>" ";" line "${line}")
    string(REPLACE "`" "" line "${line}")
    if(line MATCHES "^## ([^ ]+) \\(([0-9-]+)\\)$")
        set(version "${CMAKE_MATCH_1}")
        set(date "${CMAKE_MATCH_2}")
        if(entry_open)
            string(APPEND text "\n -- ${trailer}\n\n")
        endif()
        tav47_release_day("${date}" days weekday)
        string(SUBSTRING "${date}" 0 4 year)
        string(SUBSTRING "${date}" 5 2 month)
        string(REGEX REPLACE "^0" "" month "${month}")
        math(EXPR month "${month} - 1")
        list(GET months ${month} month)
        string(SUBSTRING "${date}" 8 2 day)
        set(trailer "${MAINTAINER}  ${weekday}, ${day} ${month} ${year} 00:00:00 +0000")
        string(APPEND text "${PACKAGE} (${version}) unstable; urgency=medium\n\n")
        set(entry_open TRUE)
    elseif(NOT entry_open)
        # The file's own introduction.
    elseif(line MATCHES "^- (.*)$")
        string(APPEND text "  * ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^  (.*)$")
        string(APPEND text "    ${CMAKE_MATCH_1}\n")
    elseif(NOT line STREQUAL "")
        message(FATAL_ERROR "${IN}: not an item nor its continuation: '${line}'")
    endif()
endforeach()
if(NOT entry_open)
    message(FATAL_ERROR "${IN}: no '## VERSION (YYYY-MM-DD)' section")
endif()
string(APPEND text "\n -- ${trailer}\n")

string(REGEX REPLACE "\\.gz$" "" plain "${OUT}")
file(WRITE "${plain}" "${text}")
execute_process(COMMAND gzip -9nc INPUT_FILE "${plain}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "gzip failed on ${plain}")
endif()
