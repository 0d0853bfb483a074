# cmake -DGZIP=<gzip> -DINPUT=<file> -DOUTPUT=<file.gz> -P gzip_file.cmake
#
# Compresses INPUT into OUTPUT the way Debian wants its documents: at the highest level and
# without the input's name and time stamp (gzip -9n), so that the bytes depend on the content
# alone. OUTPUT is written beside and renamed, so it is never seen half-written.
cmake_minimum_required(VERSION 3.25)
set(partial "${OUTPUT}.partial")
execute_process(COMMAND "${GZIP}" -9n -c INPUT_FILE "${INPUT}" OUTPUT_FILE "${partial}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${partial}")
  message(FATAL_ERROR "${GZIP} -9n failed on ${INPUT}: ${status}")
endif()
file(RENAME "${partial}" "${OUTPUT}")
