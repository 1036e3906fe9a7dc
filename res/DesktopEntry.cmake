# Writes the desktop entry: the template with the menu texts of every string table in place of
# @QV_DESKTOP_TEXTS@. Run as a script:
#   cmake -DTEMPLATE=qvlink.desktop.in -DSTRINGS=strings -DOUTPUT=qvlink.desktop -P DesktopEntry.cmake
#
# Each table may carry "GenericName = ..." and "Comment = ..." lines next to its numbered texts
# (the program reads only numbered lines). Table 1033 gives the untranslated keys; every other
# table with such a line gives the key for its locale. A table that lacks one of them leaves
# that key untranslated, and the menu shows the English text.

# The string tables are named by Windows language id; the desktop entry by POSIX locale. Each
# code is the one the program itself reads as that table's language, so the menu and the
# window agree. Portuguese is named by territory on both sides: the program takes a bare "pt"
# as Brazilian.
set(QV_TABLE_LOCALES
    1 ar   7 de   10 es   12 fr   16 it   19 nl   20 nb   29 sv   1028 zh_TW   1029 cs
    1037 he   1038 hu   1041 ja   1042 ko   1045 pl   1046 pt_BR   1049 ru   1055 tr
    2052 zh_CN   2070 pt_PT)
set(QV_DESKTOP_KEYS GenericName Comment)

foreach(var TEMPLATE STRINGS OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "DesktopEntry.cmake: ${var} is not set")
    endif()
endforeach()

# CMake lists split at ';' and treat brackets specially; the texts are carried with both
# replaced by markers that no table uses, and put back when the file is written.
function(qv_read_table_keys file prefix)
    file(READ "${file}" content)
    string(REPLACE ";" "@QV_SEMICOLON@" content "${content}")
    string(REPLACE "[" "@QV_OPEN@" content "${content}")
    string(REPLACE "]" "@QV_CLOSE@" content "${content}")
    string(REPLACE "\r" "" content "${content}")
    string(REPLACE "\n" ";" lines "${content}")
    foreach(key ${QV_DESKTOP_KEYS})
        unset(${prefix}_${key} PARENT_SCOPE)
    endforeach()
    foreach(line IN LISTS lines)
        foreach(key ${QV_DESKTOP_KEYS})
            if(line MATCHES "^[ \t]*${key}[ \t]*=[ \t]*(.*[^ \t])[ \t]*$")
                set(${prefix}_${key} "${CMAKE_MATCH_1}" PARENT_SCOPE)
            endif()
        endforeach()
    endforeach()
endfunction()

qv_read_table_keys("${STRINGS}/1033.ini" QV_EN)
set(texts "")
foreach(key ${QV_DESKTOP_KEYS})
    if(NOT DEFINED QV_EN_${key})
        message(FATAL_ERROR "DesktopEntry.cmake: ${STRINGS}/1033.ini has no ${key} line")
    endif()
    string(APPEND texts "${key}=${QV_EN_${key}}\n")
    list(LENGTH QV_TABLE_LOCALES pairs)
    math(EXPR last "${pairs} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET QV_TABLE_LOCALES ${i} table)
        list(GET QV_TABLE_LOCALES ${j} locale)
        if(NOT EXISTS "${STRINGS}/${table}.ini")
            message(FATAL_ERROR "DesktopEntry.cmake: no string table ${table}")
        endif()
        qv_read_table_keys("${STRINGS}/${table}.ini" QV_T)
        if(DEFINED QV_T_${key})
            string(APPEND texts "${key}[${locale}]=${QV_T_${key}}\n")
        endif()
    endforeach()
endforeach()

# Every table is named above, so that a new language cannot be left out of the menu unnoticed.
file(GLOB tables RELATIVE "${STRINGS}" "${STRINGS}/*.ini")
foreach(name ${tables})
    string(REGEX REPLACE "\\.ini$" "" table "${name}")
    list(FIND QV_TABLE_LOCALES "${table}" at)
    if(at LESS 0 AND NOT table STREQUAL "1033")
        message(FATAL_ERROR "DesktopEntry.cmake: string table ${table} has no locale code here")
    endif()
endforeach()

string(REGEX REPLACE "\n$" "" texts "${texts}")
file(READ "${TEMPLATE}" entry)
string(REPLACE "@QV_DESKTOP_TEXTS@" "${texts}" entry "${entry}")
string(REPLACE "@QV_SEMICOLON@" ";" entry "${entry}")
string(REPLACE "@QV_OPEN@" "[" entry "${entry}")
string(REPLACE "@QV_CLOSE@" "]" entry "${entry}")
file(WRITE "${OUTPUT}" "${entry}")
