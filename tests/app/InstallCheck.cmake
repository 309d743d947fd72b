# Installs the gui component of BUILD_DIR into PREFIX and checks that every file arrived.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component gui
                        --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed (${result}):\n${out}${err}")
endif()
foreach(f bin/quillmark-gui share/applications/quillmark-gui.desktop
          share/icons/hicolor/scalable/apps/quillmark.svg share/quillmark/Quillmark.html)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "not installed: ${f}\n${out}")
  endif()
endforeach()
file(READ "${PREFIX}/share/applications/quillmark-gui.desktop" entry)
if(NOT entry MATCHES "\nExec=quillmark-gui" OR NOT entry MATCHES "\nIcon=quillmark\n")
  message(FATAL_ERROR "the desktop entry does not start quillmark-gui with its icon:\n${entry}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
