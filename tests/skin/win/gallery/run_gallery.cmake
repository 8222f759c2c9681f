# Runs skin-gallery --screenshots under the cross-compiling emulator and
# checks what it wrote (cmake -P).
# Inputs: EMULATOR (its words separated by "|"), GALLERY, PYTHON, CHECKER,
# RES_DIR, SHOT_DIR (Linux path), WINDOWS_SHOT_DIR (the same folder as the
# program sees it), PNG_DIR.
cmake_minimum_required(VERSION 3.25)

if("$ENV{DISPLAY}" STREQUAL "")
  message("SKIPPED: no X display for the gallery's windows")
  return()
endif()

string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
file(REMOVE_RECURSE "${SHOT_DIR}")
file(MAKE_DIRECTORY "${SHOT_DIR}")

execute_process(COMMAND ${EMULATOR} "${GALLERY}" --screenshots "${WINDOWS_SHOT_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 150)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "skin-gallery --screenshots: exit ${rc}\nstdout:\n${out}\nstderr:\n${err}")
endif()

execute_process(COMMAND "${PYTHON}" "${CHECKER}" --res "${RES_DIR}" --png "${PNG_DIR}" "${SHOT_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "screenshot checks failed:\n${err}")
endif()
