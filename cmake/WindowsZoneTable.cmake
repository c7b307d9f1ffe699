# Writes the table of Windows time-zone names and the IANA zone each stands
# for, from the Unicode CLDR's windowsZones.xml (Debian: unicode-cldr-core).
# Run in script mode by the build, so the table follows the installed data:
#   cmake -DWINDOWS_ZONES=.../windowsZones.xml -DCLDR_DTD=.../ldmlSupplemental.dtd
#         -DOUTPUT=.../WindowsZoneTable.inc -P WindowsZoneTable.cmake
# Each Windows zone yields one row: its key name, the zone CLDR names for the
# whole world (territory "001"), and the display name Windows shows for it,
# which CLDR keeps as the comment above the zone's entries.
foreach(required WINDOWS_ZONES OUTPUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "WindowsZoneTable.cmake needs -D${required}=...")
  endif()
endforeach()

file(STRINGS "${WINDOWS_ZONES}" lines)
set(cldr_version "unknown")
if(DEFINED CLDR_DTD AND EXISTS "${CLDR_DTD}")
  file(STRINGS "${CLDR_DTD}" version_line REGEX "cldrVersion CDATA #FIXED")
  if(version_line MATCHES "#FIXED \"([^\"]+)\"")
    set(cldr_version "${CMAKE_MATCH_1}")
  endif()
endif()

# C++ string literal text: backslashes and quotes escaped.
function(as_literal text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(display "")
set(rows "")
set(versions "")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "<mapTimezones[^>]*otherVersion=\"([^\"]*)\"[^>]*typeVersion=\"([^\"]*)\"")
    set(versions "Windows data ${CMAKE_MATCH_1}, tz data ${CMAKE_MATCH_2}")
  elseif(line MATCHES "^[ \t]*<!--[ \t]*(\\(UTC.*\\).*[^ \t])[ \t]*-->[ \t]*$")
    set(display "${CMAKE_MATCH_1}")
  elseif(line MATCHES "<mapZone other=\"([^\"]+)\" territory=\"001\" type=\"([^\" ]+)")
    as_literal("${CMAKE_MATCH_1}" key)
    as_literal("${CMAKE_MATCH_2}" zone)
    as_literal("${display}" shown)
    string(APPEND rows "    {u\"${key}\", u\"${zone}\", u\"${shown}\"},\n")
    set(display "")
    math(EXPR count "${count} + 1")
  endif()
endforeach()
if(count LESS 100)
  message(FATAL_ERROR "${WINDOWS_ZONES} names only ${count} Windows zones; is it CLDR's windowsZones.xml?")
endif()

set(text "// Generated at build time by cmake/WindowsZoneTable.cmake from
// ${WINDOWS_ZONES}
// (Unicode CLDR ${cldr_version}, ${versions}); do not edit, it is rewritten
// whenever that file changes. ${count} Windows zones: key name, IANA zone, display name.
${rows}")
# Rewritten only when different, so an unchanged table rebuilds nothing.
set(existing "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" existing)
endif()
if(NOT existing STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
