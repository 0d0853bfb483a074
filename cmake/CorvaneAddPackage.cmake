# corvane_add_package(<target> OUTPUT <file> [FIRMWARE <file>] [ASSETS <file or directory> ...]
#                     [VERIFY])
#
# Adds <target>, built by default, that packs FIRMWARE (first) and then ASSETS, in the order
# given, into the package image OUTPUT: corvane runs in a staging directory of the target's own
# in the build tree, because it always writes package.img in its current directory, and the
# finished package.img is then renamed to OUTPUT, so OUTPUT is replaced whole or not at all.
# OUTPUT must lie on the build tree's file system for that rename.
#
# Relative OUTPUT paths are taken from the current binary directory, relative inputs from the
# current source directory. A directory in ASSETS is packed as corvane walks it: one level deep,
# entries whose names begin with a dot left out.
#
# The package is rebuilt when a tool, an input file or a file of an ASSETS directory changes,
# and when a file is added to or removed from such a directory: the directory is globbed with
# CONFIGURE_DEPENDS, so every build checks the listing again, and the list of what is packed
# is kept in a file that changes whenever that list changes.
#
# corvane takes SOURCE_DATE_EPOCH from the environment of the build, which the build tool hands
# on to every command, so a reproducible build sets it where it runs the build. The configure
# step's value is not kept: a build tree configured once would go on using a stale date.
#
# corvane exits 0 even when it skipped an input, having printed why. With VERIFY the build
# fails unless `corvane-inspect package.img --against <the inputs>` finds that the package holds
# exactly those inputs; OUTPUT is then left as it was.
include_guard(GLOBAL)

# A function keeps the policies in force where it is defined; these are the ones it is written
# for, whatever the calling project asks for.
cmake_policy(PUSH)
cmake_policy(VERSION 3.20...3.25)

function(corvane_add_package target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "VERIFY" "OUTPUT;FIRMWARE" "ASSETS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR
            "corvane_add_package(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_OUTPUT)
    message(FATAL_ERROR "corvane_add_package(${target}): OUTPUT <file> is required")
  endif()
  if(NOT arg_FIRMWARE AND NOT arg_ASSETS)
    message(FATAL_ERROR "corvane_add_package(${target}): give FIRMWARE or ASSETS, or both")
  endif()

  cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE
             OUTPUT_VARIABLE output)
  cmake_path(GET output PARENT_PATH output_dir)
  set(staging "${CMAKE_CURRENT_BINARY_DIR}/corvane-staging/${target}")

  # corvane takes every input whose name ends in .bin, in any letter case, for the firmware.
  set(firmware_pattern "\\.[bB][iI][nN]$")
  set(inputs "")
  set(packed_files "")
  if(arg_FIRMWARE)
    cmake_path(ABSOLUTE_PATH arg_FIRMWARE NORMALIZE OUTPUT_VARIABLE firmware)
    if(NOT firmware MATCHES "${firmware_pattern}")
      message(FATAL_ERROR "corvane_add_package(${target}): FIRMWARE ${firmware} must end in "
                          ".bin, or corvane packs it as an ordinary file")
    endif()
    list(APPEND inputs "${firmware}")
    list(APPEND packed_files "${firmware}")
  endif()
  foreach(asset IN LISTS arg_ASSETS)
    cmake_path(ABSOLUTE_PATH asset NORMALIZE OUTPUT_VARIABLE asset)
    if(IS_DIRECTORY "${asset}")
      file(GLOB entries LIST_DIRECTORIES false CONFIGURE_DEPENDS "${asset}/*")
      set(files "")
      foreach(entry IN LISTS entries)
        cmake_path(GET entry FILENAME name)
        if(NOT name MATCHES "^\\.")
          list(APPEND files "${entry}")
        endif()
      endforeach()
    else()
      set(files "${asset}")
    endif()
    foreach(file IN LISTS files)
      if(file MATCHES "${firmware_pattern}")
        message(FATAL_ERROR "corvane_add_package(${target}): the asset ${file} ends in .bin, so "
                            "corvane would pack it as the firmware")
      endif()
    endforeach()
    list(APPEND inputs "${asset}")
    list(APPEND packed_files ${files})
  endforeach()

  # On Windows corvane names a node after the text behind the last backslash only.
  set(tool_inputs "")
  foreach(input IN LISTS inputs)
    cmake_path(NATIVE_PATH input native_input)
    list(APPEND tool_inputs "${native_input}")
  endforeach()

  # A build tool reruns a command when a dependency is newer than the output; a file removed
  # from a directory, or added with an old time stamp, is not. This file is rewritten (and so
  # newer) exactly when the set of packed files or the way they are packed changes.
  # file(CONFIGURE) writes beside and renames, and only when the text differs; the one @...@
  # reference is replaced in a single pass, so no path is ever read as a reference itself.
  list(JOIN packed_files "\n" packed_list)
  set(call "VERIFY=${arg_VERIFY}\nOUTPUT=${output}\nINPUTS=${tool_inputs}\n${packed_list}\n")
  file(CONFIGURE OUTPUT "${staging}.inputs" CONTENT "@call@" @ONLY)

  set(corvane "$<TARGET_FILE:corvane::corvane>")
  set(inspect "$<TARGET_FILE:corvane::inspect>")
  set(verify_command "")
  set(verify_depends "")
  if(arg_VERIFY)
    set(verify_command COMMAND "${CMAKE_COMMAND}" -E chdir "${staging}"
                               "${inspect}" package.img --against ${tool_inputs})
    set(verify_depends "${inspect}")
  endif()
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${staging}" "${output_dir}"
    COMMAND "${CMAKE_COMMAND}" -E chdir "${staging}" "${corvane}" ${tool_inputs}
    ${verify_command}
    COMMAND "${CMAKE_COMMAND}" -E rename "${staging}/package.img" "${output}"
    DEPENDS "${corvane}" ${verify_depends} ${packed_files} "${staging}.inputs"
    COMMENT "Packing ${output} with corvane"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
endfunction()

cmake_policy(POP)
