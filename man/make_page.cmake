# cmake -DSCDOC=<scdoc> -DGZIP=<gzip> -DINPUT=<page.scd> -DOUTPUT=<page.gz> -P make_page.cmake
#
# Converts one scdoc page to roff and compresses it as Debian wants (see gzip_file.cmake).
# scdoc dates the page from SOURCE_DATE_EPOCH when it is set, from the clock otherwise.
cmake_minimum_required(VERSION 3.25)
set(roff "${OUTPUT}.roff")
execute_process(COMMAND "${SCDOC}" INPUT_FILE "${INPUT}" OUTPUT_FILE "${roff}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${roff}")
  message(FATAL_ERROR "${SCDOC} failed on ${INPUT}: ${status}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -DGZIP=${GZIP} -DINPUT=${roff} -DOUTPUT=${OUTPUT}
                        -P "${CMAKE_CURRENT_LIST_DIR}/../cmake/gzip_file.cmake"
                RESULT_VARIABLE status)
file(REMOVE "${roff}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "compressing ${roff} failed")
endif()
