# Installs the build into PREFIX and checks that the program can run from there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()

foreach(file bin/sonvera lib/libsvdecode.so lib/libsvencode.so lib/libgrid.so lib/libsvcmdlg.so
             share/sonvera/sonvera.html share/applications/sonvera.desktop
             share/icons/hicolor/48x48/apps/sonvera.png share/icons/hicolor/256x256/apps/sonvera.png)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The menu entry starts the installed program and shows its icon.
file(READ ${PREFIX}/share/applications/sonvera.desktop entry)
foreach(line "Exec=\"${PREFIX}/bin/sonvera\"" "Icon=sonvera" "Type=Application" "Name=Sonvera Disc Suite")
  string(FIND "${entry}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the menu entry lacks ${line}:\n${entry}")
  endif()
endforeach()

# The linked libraries come from the installed tree, not from the build.
execute_process(COMMAND ldd ${PREFIX}/bin/sonvera OUTPUT_VARIABLE libraries)
if(libraries MATCHES "not found")
  message(FATAL_ERROR "the installed program misses libraries:\n${libraries}")
endif()
foreach(lib libgrid.so libsvcmdlg.so)
  if(NOT libraries MATCHES "${lib} => ${PREFIX}/bin/../lib/${lib}")
    message(FATAL_ERROR "${lib} does not come from ${PREFIX}/lib:\n${libraries}")
  endif()
endforeach()

# The libraries loaded by name are found from bin/, as the program looks for them.
file(COPY ${PROBE} DESTINATION ${PREFIX}/bin)
get_filename_component(probe ${PROBE} NAME)
execute_process(COMMAND ${PREFIX}/bin/${probe}
                  "svdecode:CreateDecoder,Mp3DecodePlay,WaveOutputClose"
                  "svencode:beInitStream,beEncodeChunk,beDeinitStream,beCloseStream"
                  "svogg:OGGEncode,OGGDecode" "svvqf:VQFEncode,VQFDecode" "svwma:WMAEncode,WMADecode"
                RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
message(STATUS "${said}")
if(failed)
  message(FATAL_ERROR "the installed libraries cannot be loaded by name")
endif()
file(REMOVE ${PREFIX}/bin/${probe})

# The program itself starts from there and keeps running (killed after a few seconds).
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=${PREFIX}/config
                  XDG_DATA_HOME=${PREFIX}/data XDG_STATE_HOME=${PREFIX}/state
                  timeout 4 ${PREFIX}/bin/sonvera
                RESULT_VARIABLE code OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT code EQUAL 124)
  message(FATAL_ERROR "the installed program ended with ${code}:\n${errors}")
endif()
file(REMOVE_RECURSE ${PREFIX})
