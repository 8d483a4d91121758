# Usage: cmake -DLIBRARY=path/libsvdecode.so -P check_exports.cmake
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
set(expected CreateDecoder DeleteDecoder RegisterInputModule RegisterOutputModule
  Mp3InputOpen WaveOutputOpen Mp3DecodePlay Mp3InputClose WaveOutputClose
  SeekToPosition SeekToTime GetCurrentPosition GetCurrentTimeSecond)
string(REPLACE "\n" ";" lines "${listing}")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-f]* *([A-Za-z]) ([^ ]+)$")
    set(type ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    # Skip undefined references and the absolute version-node entries.
    if(NOT type MATCHES "^[AUw]$")
      list(APPEND found ${name})
    endif()
  endif()
endforeach()
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exported symbols differ.\n expected: ${expected}\n found: ${found}")
endif()
message(STATUS "13 exports, as expected")
