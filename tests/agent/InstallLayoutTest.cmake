# SPDX-License-Identifier: MIT
# Installs the build tree twice, once into a prefix and once staged through
# DESTDIR, and checks that exactly the expected files arrive and that each is
# what it claims to be: runnable programs, a valid desktop entry, icons of
# their folder's size, manual pages that render without warnings.
# Arguments: -DBUILD_DIR= -DWORK_DIR= -DEXPECTED_FILES=
cmake_minimum_required(VERSION 3.25)

function(fail)
  string(JOIN "" message ${ARGN})
  message(FATAL_ERROR "${message}")
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    fail("${ARGN} failed (${status}):\n${output}${errors}")
  endif()
  set(run_errors "${errors}" PARENT_SCOPE)
endfunction()

function(check_files_under root)
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
  list(SORT found)
  file(STRINGS "${EXPECTED_FILES}" expected)
  list(SORT expected)
  if(NOT found STREQUAL expected)
    string(REPLACE ";" "\n  " found_lines "${found}")
    string(REPLACE ";" "\n  " expected_lines "${expected}")
    fail("installed under ${root}:\n  ${found_lines}\nexpected:\n  ${expected_lines}")
  endif()
endfunction()

# Width and height from a PNG's header chunk.
function(check_png_size file size)
  file(READ "${file}" header OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${header}" 0 8 width_hex)
  string(SUBSTRING "${header}" 8 8 height_hex)
  math(EXPR width "0x${width_hex}")
  math(EXPR height "0x${height_hex}")
  if(NOT width EQUAL size OR NOT height EQUAL size)
    fail("${file} is ${width}x${height}, not ${size}x${size}")
  endif()
endfunction()

function(check_contents root)
  foreach(program pellix-growl pellix-json)
    if(NOT EXISTS "${root}/bin/${program}" OR IS_DIRECTORY "${root}/bin/${program}")
      fail("${root}/bin/${program} is missing")
    endif()
    file(GET_RUNTIME_DEPENDENCIES EXECUTABLES "${root}/bin/${program}" RESOLVED_DEPENDENCIES_VAR libraries
         UNRESOLVED_DEPENDENCIES_VAR unresolved)
    if(unresolved)
      fail("${program} needs libraries that are not there: ${unresolved}")
    endif()
  endforeach()
  run("${root}/bin/pellix-json" --help)

  run(desktop-file-validate "${root}/share/applications/pellix-growl.desktop")
  if(run_errors)
    fail("desktop-file-validate: ${run_errors}")
  endif()

  foreach(size 48 128 256)
    check_png_size("${root}/share/icons/hicolor/${size}x${size}/apps/pellix-growl.png" ${size})
  endforeach()

  foreach(page pellix-growl pellix-json)
    run(${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "${root}/share/man/man1/${page}.1.gz")
    if(run_errors)
      fail("${page}(1) renders with warnings:\n${run_errors}")
    endif()
  endforeach()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")

set(prefix "${WORK_DIR}/prefix")
run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
check_files_under("${prefix}")
check_contents("${prefix}")

set(stage "${WORK_DIR}/stage")
run(${CMAKE_COMMAND} -E env "DESTDIR=${stage}" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix /usr)
check_files_under("${stage}/usr")
file(GLOB staged RELATIVE "${stage}" "${stage}/*")
if(NOT staged STREQUAL "usr")
  fail("DESTDIR holds more than usr/: ${staged}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
