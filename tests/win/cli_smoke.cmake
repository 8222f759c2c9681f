# salvor-cli.exe end to end under the cross-compiling emulator (cmake -P).
# CHECK selects one check:
#   scan                   the table lists the deleted files and only them
#   json                   every --json line parses, with the expected fields
#   engine_beside_program  Gleaner.dll is found beside the program, whatever
#                          the working directory, and missing it is an error
#   recover                "recover --to" writes the deleted files byte for
#                          byte as the image holds them
#   raw_drive              "scan X:" reads the drive's raw device (skipped
#                          when the run links no drive X)
# Inputs: EMULATOR (its words separated by "|"), CLI, MAKE_IMAGE, WORK_DIR
# (Linux path), WINDOWS_WORK_DIR (the same folder as the programs see it),
# CHECK.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" EMULATOR "${EMULATOR}")

file(REMOVE_RECURSE "${WORK_DIR}/${CHECK}")
file(MAKE_DIRECTORY "${WORK_DIR}/${CHECK}")
set(image "${WINDOWS_WORK_DIR}/${CHECK}/sample.img")

function(run_program)
  cmake_parse_arguments(ARG "" "" "COMMAND" ${ARGN})
  execute_process(COMMAND ${EMULATOR} ${ARG_COMMAND}
                  WORKING_DIRECTORY "${WORK_DIR}/${CHECK}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # Text-mode output ends its lines in CR LF.
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
  set(rc "${rc}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect_exit expected what)
  if(NOT rc STREQUAL expected)
    message(FATAL_ERROR "${what}: exit ${rc}, expected ${expected}\nstdout:\n${out}\nstderr:\n${err}")
  endif()
endfunction()

function(expect_line pattern what)
  if(NOT out MATCHES "(^|\n)${pattern}(\n|$)")
    message(FATAL_ERROR "${what}: no line matches '${pattern}' in:\n${out}")
  endif()
endfunction()

if(NOT CHECK STREQUAL "raw_drive")
  run_program(COMMAND "${MAKE_IMAGE}" "${image}")
  expect_exit(0 "make_sample_volume")
endif()

if(CHECK STREQUAL "scan")
  run_program(COMMAND "${CLI}" scan "${image}")
  expect_exit(0 "salvor-cli scan")
  expect_line("deleted +intact +1234 2013-01-02 14:02:04  Deleted report.txt" "scan")
  expect_line("deleted +intact +77 [-0-9: ]+  DOCS/_LD.TXT" "scan")
  if(out MATCHES "README|Notes")
    message(FATAL_ERROR "scan lists present files without --all:\n${out}")
  endif()

elseif(CHECK STREQUAL "json")
  run_program(COMMAND "${CLI}" scan --all --json "${image}")
  expect_exit(0 "salvor-cli scan --all --json")
  string(STRIP "${out}" out)
  string(REPLACE ";" "\\;" out "${out}")
  string(REPLACE "\n" ";" lines "${out}")
  set(seen "")
  foreach(line IN LISTS lines)
    string(JSON path ERROR_VARIABLE error GET "${line}" path)
    if(error)
      message(FATAL_ERROR "not JSON: ${line}\n${error}")
    endif()
    string(JSON deleted GET "${line}" deleted)
    string(JSON type GET "${line}" type)
    string(JSON size GET "${line}" size)
    string(JSON folder GET "${line}" folder)
    list(APPEND seen "${path}|${type}|${deleted}|${size}|${folder}")
  endforeach()
  list(SORT seen)
  set(expected
      "DOCS/Notes été.txt|file|OFF|10|3"
      "DOCS/_LD.TXT|file|ON|77|3"
      "DOCS|folder|OFF|0|0"
      "Deleted report.txt|file|ON|1234|0"
      "README.TXT|file|OFF|5|0")
  list(SORT expected)
  if(NOT seen STREQUAL expected)
    string(REPLACE ";" "\n" seen "${seen}")
    message(FATAL_ERROR "unexpected records (path|type|deleted|size|folder):\n${seen}\nfrom:\n${out}")
  endif()

elseif(CHECK STREQUAL "engine_beside_program")
  # Run from the work folder: the library must come from the program's
  # folder, not from the working directory.
  run_program(COMMAND "${CLI}" scan "${image}")
  expect_exit(0 "salvor-cli started outside its folder")
  expect_line(".*Deleted report.txt" "salvor-cli started outside its folder")
  # A copy of the program without the library beside it.
  get_filename_component(name "${CLI}" NAME)
  file(COPY "${CLI}" DESTINATION "${WORK_DIR}/${CHECK}/alone")
  run_program(COMMAND "${WORK_DIR}/${CHECK}/alone/${name}" scan "${image}")
  expect_exit(2 "salvor-cli without Gleaner.dll")
  if(NOT err MATCHES "cannot load the engine library .*Gleaner.dll")
    message(FATAL_ERROR "missing library not reported:\n${err}")
  endif()

elseif(CHECK STREQUAL "recover")
  # The deleted files written under a destination folder, byte for byte as
  # the image holds them (a deleted file's clusters follow one another).
  set(destination "${WINDOWS_WORK_DIR}/${CHECK}/out")
  run_program(COMMAND "${CLI}" recover "${image}" --to "${destination}")
  expect_exit(0 "salvor-cli recover")
  expect_line("recovered  1234  Deleted report.txt" "recover")
  expect_line("recovered  77  DOCS/_LD.TXT" "recover")
  set(linux_image "${WORK_DIR}/${CHECK}/sample.img")
  # Little-endian numbers of the boot sector.
  function(read_number offset length variable)
    file(READ "${linux_image}" hex OFFSET ${offset} LIMIT ${length} HEX)
    set(value 0)
    math(EXPR last "${length} - 1")
    foreach(i RANGE ${last} 0 -1)
      math(EXPR at "${i} * 2")
      string(SUBSTRING "${hex}" ${at} 2 byte)
      math(EXPR value "${value} * 256 + 0x${byte}")
    endforeach()
    set(${variable} ${value} PARENT_SCOPE)
  endfunction()
  read_number(11 2 bytes_per_sector)
  read_number(13 1 sectors_per_cluster)
  read_number(14 2 reserved)
  read_number(16 1 fats)
  read_number(36 4 sectors_per_fat)
  foreach(file_case "Deleted report.txt|11|1234" "DOCS/_LD.TXT|12|77")
    string(REPLACE "|" ";" file_case "${file_case}")
    list(GET file_case 0 name)
    list(GET file_case 1 cluster)
    list(GET file_case 2 size)
    math(EXPR offset "(${reserved} + ${fats} * ${sectors_per_fat} + (${cluster} - 2) * ${sectors_per_cluster}) * ${bytes_per_sector}")
    file(READ "${linux_image}" expected OFFSET ${offset} LIMIT ${size} HEX)
    set(output "${WORK_DIR}/${CHECK}/out/${name}")
    if(NOT EXISTS "${output}")
      message(FATAL_ERROR "recover did not write ${name}:\n${out}\n${err}")
    endif()
    file(READ "${output}" written HEX)
    if(NOT written STREQUAL expected)
      message(FATAL_ERROR "${name} differs from the image's bytes")
    endif()
  endforeach()
  # Present files stay where they are unless asked for.
  if(EXISTS "${WORK_DIR}/${CHECK}/out/README.TXT")
    message(FATAL_ERROR "recover wrote a present file without --all")
  endif()

elseif(CHECK STREQUAL "raw_drive")
  if(NOT DEFINED ENV{SALVOR_RAW_VOLUME_IMAGE})
    message("SKIPPED: no raw volume: SALVOR_RAW_VOLUME_IMAGE is not set")
    return()
  endif()
  run_program(COMMAND "${CLI}" scan X:)
  expect_exit(0 "salvor-cli scan X:")
  expect_line("deleted +intact +1234 2013-01-02 14:02:04  Deleted report.txt" "scan X:")
  expect_line("deleted +intact +77 [-0-9: ]+  DOCS/_LD.TXT" "scan X:")
  # Recovering onto the drive being scanned is refused.
  run_program(COMMAND "${CLI}" recover X: --to "x:\\recovered")
  expect_exit(4 "salvor-cli recover X: --to x:\\recovered")
  if(NOT err MATCHES "lies on the volume being scanned")
    message(FATAL_ERROR "the refusal does not say why:\n${err}")
  endif()

else()
  message(FATAL_ERROR "unknown CHECK '${CHECK}'")
endif()
