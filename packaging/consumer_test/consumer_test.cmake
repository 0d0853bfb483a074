# cmake -DCASE=install -DBUILD_DIR=<build> -DPREFIX=<prefix> -P consumer_test.cmake
# cmake -DCASE=<case> -DPREFIX=<prefix> -DSCRATCH=<folder> -DGENERATOR=<generator>
#       -DEXAMPLES=<examples folder> -P consumer_test.cmake
#
# One case of the end-to-end tests of corvane's CMake package (see CMakeLists.txt beside this
# file). A case fails with a message naming what differed.
cmake_minimum_required(VERSION 3.25)

set(corvane "${PREFIX}/bin/corvane")
set(inspect "${PREFIX}/bin/corvane-inspect")
# A case that packs firmware sets SOURCE_DATE_EPOCH for itself; nothing may leak in from the
# environment that runs the tests.
unset(ENV{SOURCE_DATE_EPOCH})

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

# Writes <content> to <file>, beside and then renamed, so that no reader sees it half-written.
function(write_file file content)
  file(CONFIGURE OUTPUT "${file}" CONTENT "@content@" @ONLY)
endfunction()

# Starts the folder of this case afresh.
function(start_scratch)
  file(REMOVE_RECURSE "${SCRATCH}")
  file(MAKE_DIRECTORY "${SCRATCH}")
endfunction()

# Makes the consumer project <name> in SCRATCH/<name>: its CMakeLists.txt finds corvane and then
# runs <calls>. Sets consumer_source and consumer_binary.
function(write_consumer name calls)
  set(source "${SCRATCH}/${name}")
  write_file("${source}/CMakeLists.txt"
             "cmake_minimum_required(VERSION 3.20)\nproject(${name} NONE)\n${calls}\n")
  set(consumer_source "${source}" PARENT_SCOPE)
  set(consumer_binary "${source}/build" PARENT_SCOPE)
endfunction()

# Configures the consumer project against the corvane installed in <prefix>, without
# SOURCE_DATE_EPOCH whatever the case sets for its builds. Sets consumer_status and
# consumer_output (standard output and error together).
function(configure_consumer source binary prefix)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env --unset=SOURCE_DATE_EPOCH
            "${CMAKE_COMMAND}" -S "${source}" -B "${binary}" -G "${GENERATOR}"
            "-DCMAKE_PREFIX_PATH=${prefix}"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(consumer_status "${status}" PARENT_SCOPE)
  set(consumer_output "${output}" PARENT_SCOPE)
endfunction()

# Builds the consumer project. Sets consumer_status and consumer_output.
function(build_consumer binary)
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${binary}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(consumer_status "${status}" PARENT_SCOPE)
  set(consumer_output "${output}" PARENT_SCOPE)
endfunction()

function(expect_configured what)
  configure_consumer("${consumer_source}" "${consumer_binary}" "${PREFIX}")
  if(NOT consumer_status EQUAL 0)
    fail("${what}: configuring the consumer failed (${consumer_status}):\n${consumer_output}")
  endif()
endfunction()

# Builds and fails unless the build succeeded and corvane ran (<ran> TRUE) or did not (FALSE).
function(expect_built what ran)
  build_consumer("${consumer_binary}")
  if(NOT consumer_status EQUAL 0)
    fail("${what}: the build failed (${consumer_status}):\n${consumer_output}")
  endif()
  text_contains("${consumer_output}" "Creating output file package.img" corvane_ran)
  if(ran AND NOT corvane_ran)
    fail("${what}: corvane did not run, but it had to:\n${consumer_output}")
  elseif(NOT ran AND corvane_ran)
    fail("${what}: corvane ran, but nothing it packs had changed:\n${consumer_output}")
  endif()
  set(consumer_output "${consumer_output}" PARENT_SCOPE)
endfunction()

# Splits the table row "<first>|<second>" into the variables <first> and <second>.
function(split_row row first second)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 value)
  set(${first} "${value}" PARENT_SCOPE)
  list(GET row 1 value)
  set(${second} "${value}" PARENT_SCOPE)
endfunction()

# Sets <variable> to whether <text> holds <part>.
function(text_contains text part variable)
  string(FIND "${text}" "${part}" at)
  if(at EQUAL -1)
    set(${variable} FALSE PARENT_SCOPE)
  else()
    set(${variable} TRUE PARENT_SCOPE)
  endif()
endfunction()

# Sets <variable> to whether CMake's message <output> says <text>. CMake wraps its messages
# wherever the line grows too long, so both are compared with every run of blanks and line
# ends taken as one space.
function(cmake_message_says output text variable)
  string(REGEX REPLACE "[ \n]+" " " output "${output}")
  string(REGEX REPLACE "[ \n]+" " " text "${text}")
  text_contains("${output}" "${text}" says)
  set(${variable} ${says} PARENT_SCOPE)
endfunction()

# Lets the clock pass the time stamp of what was just built, so that a file changed now is newer
# than it even on a file system whose time stamps are coarse.
function(let_time_pass)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 0.1)
endfunction()

# Runs corvane itself on <inputs> in SCRATCH/direct: what corvane_add_package() must produce.
function(pack_directly)
  set(directory "${SCRATCH}/direct")
  file(REMOVE_RECURSE "${directory}")
  file(MAKE_DIRECTORY "${directory}")
  execute_process(COMMAND "${corvane}" ${ARGN} WORKING_DIRECTORY "${directory}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output)
  if(NOT status EQUAL 0 OR NOT EXISTS "${directory}/package.img")
    fail("corvane ${ARGN} failed (${status}):\n${output}")
  endif()
endfunction()

# Fails unless the package image <actual> holds exactly the bytes corvane writes for <inputs>.
# A case with a firmware image sets SOURCE_DATE_EPOCH for its builds, so the key is fixed.
function(expect_package what actual)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "INPUTS")
  if(NOT EXISTS "${actual}")
    fail("${what}: ${actual} was not made")
  endif()
  pack_directly(${arg_INPUTS})
  file(READ "${actual}" actual_hex HEX)
  file(READ "${SCRATCH}/direct/package.img" expected_hex HEX)
  if(NOT actual_hex STREQUAL expected_hex)
    fail("${what}: ${actual} differs from what corvane ${arg_INPUTS} writes")
  endif()
endfunction()

# Sets <variable> to the node names of the package image <image>, in image order.
function(read_node_names image variable)
  execute_process(COMMAND "${inspect}" --json "${image}" OUTPUT_VARIABLE json
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("corvane-inspect finds ${image} invalid (${status})")
  endif()
  string(JSON count GET "${json}" node_count)
  set(names "")
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(index RANGE ${last})
      string(JSON name GET "${json}" nodes ${index} name)
      list(APPEND names "${name}")
    endforeach()
  endif()
  set(${variable} "${names}" PARENT_SCOPE)
endfunction()

# The example's firmware and assets, a dot file the walk must leave out, and a single file.
function(make_device_inputs source)
  file(COPY "${EXAMPLES}/app.bin" "${EXAMPLES}/assets" DESTINATION "${source}")
  write_file("${source}/assets/.notes" "not for the device\n")
  write_file("${source}/extra.txt" "region=eu\n")
endfunction()

# ---------------------------------------------------------------------------------------------

# Installs the build into PREFIX, as `cmake --install` does for a user, and checks what is there.
function(case_install)
  file(REMOVE_RECURSE "${PREFIX}")
  execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    fail("cmake --install failed (${status}):\n${output}")
  endif()
  foreach(file IN ITEMS bin/corvane bin/corvane-inspect
                        lib/cmake/corvane/corvaneConfig.cmake
                        lib/cmake/corvane/corvaneConfigVersion.cmake
                        lib/cmake/corvane/CorvaneAddPackage.cmake
                        share/man/man1/corvane.1.gz share/man/man1/corvane-inspect.1.gz
                        share/man/man5/corvane-package.5.gz
                        share/doc/corvane/README.md share/doc/corvane/LICENSE)
    if(NOT EXISTS "${PREFIX}/${file}")
      fail("cmake --install did not install ${file}")
    endif()
  endforeach()
  # These belong to the .deb alone.
  foreach(file IN ITEMS share/doc/corvane/copyright share/doc/corvane/changelog.Debian.gz
                        share/lintian)
    if(EXISTS "${PREFIX}/${file}")
      fail("cmake --install installed ${file}, which only the .deb holds")
    endif()
  endforeach()
endfunction()

# find_package(corvane): the version check, the imported executables, an installation moved
# elsewhere, and one that lacks a tool.
function(case_find_package)
  start_scratch()
  set(report [[
get_target_property(corvane_location corvane::corvane IMPORTED_LOCATION)
get_target_property(inspect_location corvane::inspect IMPORTED_LOCATION)
message(STATUS "corvane::corvane=${corvane_location}")
message(STATUS "corvane::inspect=${inspect_location}")]])
  # request | found
  set(requests
    "find_package(corvane 2.2 REQUIRED)|TRUE"
    "find_package(corvane 2 REQUIRED)|TRUE"
    "find_package(corvane 2.2 EXACT REQUIRED)|TRUE"
    "find_package(corvane 2.3 REQUIRED)|FALSE"
    "find_package(corvane 3 REQUIRED)|FALSE"
    # A firmware project cross-compiled for a 32-bit device still runs the host's tools.
    "set(CMAKE_SIZEOF_VOID_P 4)\nfind_package(corvane 2.2 REQUIRED)|TRUE")
  set(index 0)
  foreach(entry IN LISTS requests)
    split_row("${entry}" request found)
    math(EXPR index "${index} + 1")
    write_consumer(request${index} "${request}\n${report}")
    configure_consumer("${consumer_source}" "${consumer_binary}" "${PREFIX}")
    if(found AND NOT consumer_status EQUAL 0)
      fail("${request}: not found:\n${consumer_output}")
    elseif(NOT found AND consumer_status EQUAL 0)
      fail("${request}: the installed corvane was accepted")
    endif()
    if(found)
      foreach(tool IN ITEMS "corvane::corvane=${corvane}" "corvane::inspect=${inspect}")
        text_contains("${consumer_output}" "${tool}\n" reported)
        if(NOT reported)
          fail("${request}: expected ${tool}, the configure step printed:\n${consumer_output}")
        endif()
      endforeach()
    endif()
  endforeach()

  # An unpacked archive is used wherever it lies: every path is taken relative to the package.
  set(moved "${SCRATCH}/moved prefix")
  file(COPY "${PREFIX}/" DESTINATION "${moved}")
  write_consumer(moved "find_package(corvane 2.2 REQUIRED)\n${report}")
  configure_consumer("${consumer_source}" "${consumer_binary}" "${moved}")
  text_contains("${consumer_output}" "corvane::inspect=${moved}/bin/corvane-inspect\n" reported)
  if(NOT consumer_status EQUAL 0 OR NOT reported)
    fail("an installation moved to ${moved} is not used from there:\n${consumer_output}")
  endif()

  set(broken "${SCRATCH}/broken prefix")
  file(COPY "${PREFIX}/" DESTINATION "${broken}")
  file(REMOVE "${broken}/bin/corvane-inspect")
  write_consumer(broken "find_package(corvane 2.2 REQUIRED)")
  configure_consumer("${consumer_source}" "${consumer_binary}" "${broken}")
  cmake_message_says("${consumer_output}"
                     "${broken}/bin/corvane-inspect is missing from this installation" says)
  if(consumer_status EQUAL 0 OR NOT says)
    fail("an installation without corvane-inspect is accepted:\n${consumer_output}")
  endif()
endfunction()

# Calls that cannot make a correct package fail when the project is configured.
function(case_configure_errors)
  start_scratch()
  # call | what the configure step must say
  set(calls
    "corvane_add_package(p FIRMWARE app.bin)|OUTPUT <file> is required"
    "corvane_add_package(p OUTPUT p.img)|give FIRMWARE or ASSETS, or both"
    "corvane_add_package(p SIGNED OUTPUT p.img ASSETS plain.txt)|unknown arguments SIGNED"
    # corvane would pack these in the wrong role without a word.
    "corvane_add_package(p OUTPUT p.img FIRMWARE plain.txt)|must end in .bin"
    "corvane_add_package(p OUTPUT p.img ASSETS second.BIN)|second.BIN ends in .bin"
    "corvane_add_package(p OUTPUT p.img ASSETS with_firmware)|with_firmware/app.Bin ends in .bin")
  set(index 0)
  foreach(entry IN LISTS calls)
    split_row("${entry}" call message)
    math(EXPR index "${index} + 1")
    write_consumer(call${index} "find_package(corvane 2.2 REQUIRED)\n${call}")
    foreach(file IN ITEMS app.bin plain.txt second.BIN with_firmware/app.Bin with_firmware/a.txt)
      write_file("${consumer_source}/${file}" "${file}\n")
    endforeach()
    configure_consumer("${consumer_source}" "${consumer_binary}" "${PREFIX}")
    cmake_message_says("${consumer_output}" "${message}" says)
    if(consumer_status EQUAL 0 OR NOT says)
      fail("${call}: expected the configure step to fail with \"${message}\", it printed "
           "(status ${consumer_status}):\n${consumer_output}")
    endif()
  endforeach()
endfunction()

# A package of a firmware image, a directory of assets and a single file, kept up to date.
function(case_good_package)
  start_scratch()
  # Taken from the build's environment, not the configure step's (configure_consumer unsets it).
  # Far from today's date, so a key drawn from the clock cannot match by chance.
  set(ENV{SOURCE_DATE_EPOCH} 1500000000)

  write_consumer(device [[
find_package(corvane 2.2 REQUIRED)
corvane_add_package(device_package OUTPUT images/device.img
                    FIRMWARE app.bin ASSETS assets extra.txt)]])
  set(source "${consumer_source}")
  make_device_inputs("${source}")
  # Made now, moved into the assets later: a new file whose time stamp is older than the package.
  write_file("${source}/later.txt" "added later\n")
  set(output "${consumer_binary}/images/device.img")
  set(inputs "${source}/app.bin" "${source}/assets" "${source}/extra.txt")

  expect_configured("first build")
  expect_built("first build" TRUE)
  expect_package("first build" "${output}" INPUTS ${inputs})
  read_node_names("${output}" names)
  if(NOT names STREQUAL "upgrade;config.txt;logo.raw;strings.txt;extra.txt")
    fail("first build: nodes ${names}")
  endif()
  # corvane wrote package.img in the staging folder, and it was moved from there.
  file(GLOB_RECURSE left_behind "${consumer_binary}/package.img")
  if(left_behind)
    fail("first build: package.img left behind in ${left_behind}")
  endif()

  # change | whether corvane must run again
  set(changes
    "nothing changed|FALSE"
    "a file of the assets directory changes|TRUE"
    "a dot file of the assets directory changes|FALSE"
    "the firmware changes|TRUE"
    "the single asset file changes|TRUE"
    "an older file is moved into the assets directory|TRUE"
    "a file is removed from the assets directory|TRUE"
    "a dot file is added to the assets directory|FALSE"
    "corvane is updated|TRUE")
  foreach(entry IN LISTS changes)
    split_row("${entry}" change rebuilds)
    file(READ "${output}" before HEX)
    let_time_pass()
    if(change STREQUAL "a file of the assets directory changes")
      file(APPEND "${source}/assets/config.txt" "volume=7\n")
    elseif(change STREQUAL "a dot file of the assets directory changes")
      file(APPEND "${source}/assets/.notes" "still not for the device\n")
    elseif(change STREQUAL "the firmware changes")
      file(APPEND "${source}/app.bin" "more code")
    elseif(change STREQUAL "the single asset file changes")
      write_file("${source}/extra.txt" "region=us\n")
    elseif(change STREQUAL "an older file is moved into the assets directory")
      file(RENAME "${source}/later.txt" "${source}/assets/later.txt")
    elseif(change STREQUAL "a file is removed from the assets directory")
      file(REMOVE "${source}/assets/logo.raw")
    elseif(change STREQUAL "a dot file is added to the assets directory")
      write_file("${source}/assets/.cache" "ignored\n")
    elseif(change STREQUAL "corvane is updated")
      file(TOUCH "${corvane}")
    endif()
    expect_built("${change}" ${rebuilds})
    if(rebuilds)
      expect_package("${change}" "${output}" INPUTS ${inputs})
    else()
      file(READ "${output}" after HEX)
      if(NOT after STREQUAL before)
        fail("${change}: ${output} changed")
      endif()
    endif()
  endforeach()
  read_node_names("${output}" names)
  if(NOT names STREQUAL "upgrade;config.txt;later.txt;strings.txt;extra.txt")
    fail("after the changes: nodes ${names}")
  endif()
endfunction()

# corvane skips an input it cannot pack and still exits 0: without VERIFY the build goes on, but
# corvane's message is in the build output for all to see.
function(case_skipped_input)
  start_scratch()
  write_consumer(skipped [[
find_package(corvane 2.2 REQUIRED)
corvane_add_package(skipped_package OUTPUT skipped.img ASSETS assets)]])
  set(source "${consumer_source}")
  write_file("${source}/assets/ok.txt" "fits\n")
  write_file("${source}/assets/averyveryverylongname.txt" "does not fit\n")
  expect_configured("a name too long, without VERIFY")
  expect_built("a name too long, without VERIFY" TRUE)
  set(message "Can NOT pack ${source}/assets/averyveryverylongname.txt: name longer than 15 characters !")
  text_contains("${consumer_output}" "${message}" shown)
  if(NOT shown)
    fail("corvane's message \"${message}\" is not in the build output:\n${consumer_output}")
  endif()
  read_node_names("${consumer_binary}/skipped.img" names)
  if(NOT names STREQUAL "ok.txt")
    fail("a name too long, without VERIFY: nodes ${names}")
  endif()
endfunction()

# With VERIFY a package that lacks one of its inputs fails the build, with corvane's message in
# the build output, and the earlier package stays as it was.
function(case_verify)
  set(ENV{SOURCE_DATE_EPOCH} 1500000000)

  # skipped input | corvane's message
  set(skips
    "an asset name too long|Can NOT pack @SOURCE@/assets/averyveryverylongname.txt: name longer than 15 characters !"
    "a firmware image too big|Firmware is too big for bootloader (126977B - 126976B = 1B) !")
  set(index 0)
  foreach(entry IN LISTS skips)
    split_row("${entry}" skip message)
    math(EXPR index "${index} + 1")
    start_scratch()
    write_consumer(verified${index} [[
find_package(corvane 2.2 REQUIRED)
corvane_add_package(verified_package OUTPUT verified.img FIRMWARE app.bin ASSETS assets extra.txt
                    VERIFY)]])
    set(source "${consumer_source}")
    string(REPLACE "@SOURCE@" "${source}" message "${message}")
    make_device_inputs("${source}")
    set(output "${consumer_binary}/verified.img")
    expect_configured("${skip}: the good package")
    expect_built("${skip}: the good package" TRUE)
    expect_package("${skip}: the good package" "${output}"
                   INPUTS "${source}/app.bin" "${source}/assets" "${source}/extra.txt"
                  )
    file(READ "${output}" good HEX)

    let_time_pass()
    if(skip STREQUAL "an asset name too long")
      write_file("${source}/assets/averyveryverylongname.txt" "does not fit\n")
    elseif(skip STREQUAL "a firmware image too big")
      file(REMOVE "${source}/app.bin")
      string(REPEAT "f" 126977 too_big)
      write_file("${source}/app.bin" "${too_big}")
    endif()
    build_consumer("${consumer_binary}")
    if(consumer_status EQUAL 0)
      fail("${skip}: the build succeeded:\n${consumer_output}")
    endif()
    text_contains("${consumer_output}" "${message}" shown)
    if(NOT shown)
      fail("${skip}: corvane's message \"${message}\" is not in the build output:\n"
           "${consumer_output}")
    endif()
    file(READ "${output}" after HEX)
    if(NOT after STREQUAL good)
      fail("${skip}: the failed build replaced ${output}")
    endif()
  endforeach()
endfunction()

cmake_language(CALL case_${CASE})
