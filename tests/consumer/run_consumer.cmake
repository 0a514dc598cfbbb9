# Installs this build into a scratch prefix, builds the consumer project
# against the installed package and converts a container with it; the result
# must equal what the mthc executable writes.
#   -DBUILD_DIR -DSOURCE_DIR -DWORK_DIR -DMTHC -DCONTAINER -DCXX -DCXX_FLAGS -DLINKER_FLAGS -DNM
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The installed library neither prints nor touches a file: none of the C and
# C++ library's console and file functions is among the symbols it needs.
file(GLOB_RECURSE library ${prefix}/lib*/libmthc.a)
execute_process(COMMAND ${NM} -u ${library} OUTPUT_VARIABLE needed RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR needed STREQUAL "")
  message(FATAL_ERROR "cannot list the symbols of ${library}")
endif()
string(REGEX MATCHALL "[^\n]*(printf|puts|putc|fopen|fwrite|fread|fclose|fflush|std::FILE|_IO_|cout|cerr|fstream|stdout|stderr)[^\n]*"
       io_symbols "${needed}")
if(io_symbols)
  message(FATAL_ERROR "the installed library uses console or file functions:\n${io_symbols}")
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}" -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/mthc_consumer ${CONTAINER} ${WORK_DIR}/consumer.mid ${WORK_DIR}/cut.mthc
    ${WORK_DIR}/cut-error.txt)
run(${MTHC} --decompress ${WORK_DIR}/tool.mid ${CONTAINER})
run(${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/consumer.mid ${WORK_DIR}/tool.mid)
# The library's words for the cut copy are the packer's.
execute_process(COMMAND ${MTHC_PACK} -t ${WORK_DIR}/cut.mthc RESULT_VARIABLE status
                ERROR_VARIABLE tool_error)
file(READ ${WORK_DIR}/cut-error.txt consumer_error)
if(status EQUAL 0 OR NOT tool_error STREQUAL consumer_error)
  message(FATAL_ERROR "mthc-pack -t says\n${tool_error}the library says\n${consumer_error}")
endif()
