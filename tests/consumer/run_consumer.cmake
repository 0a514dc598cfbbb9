# Installs this build into a scratch prefix, builds the consumer project
# against the installed package, through CMake and through pkg-config, and
# converts a container with it; the result must equal what the mthc
# executable writes. With -DSHARED=ON it does the same for a shared build of
# the library made here from the sources, and checks that the shared library
# exports the public API and nothing else.
#   -DBUILD_DIR -DSOURCE_DIR -DWORK_DIR -DMTHC -DMTHC_PACK -DCONTAINER -DCXX -DCXX_FLAGS
#   -DLINKER_FLAGS -DNM -DPKG_CONFIG [-DSHARED=ON]
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}")
  endif()
endfunction()

# The installed library neither prints nor touches a file: none of the C and
# C++ library's console and file functions is among the symbols it needs.
function(check_no_io library)
  execute_process(COMMAND ${NM} -u ${library} OUTPUT_VARIABLE needed RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR needed STREQUAL "")
    message(FATAL_ERROR "cannot list the symbols of ${library}")
  endif()
  string(REGEX MATCHALL "[^\n]*(printf|puts|putc|fopen|fwrite|fread|fclose|fflush|std::FILE|_IO_|cout|cerr|fstream|stdout|stderr)[^\n]*"
         io_symbols "${needed}")
  if(io_symbols)
    message(FATAL_ERROR "the installed library uses console or file functions:\n${io_symbols}")
  endif()
endfunction()

# A shared library exports exactly the functions that the installed headers
# mark MTHC_API: one of them missing fails here, and so does an internal one
# let out.
function(check_exports library prefix)
  execute_process(COMMAND ${NM} -D -C --defined-only ${library} OUTPUT_VARIABLE symbols
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot list the symbols that ${library} exports")
  endif()
  string(REGEX MATCHALL "[0-9a-f]+ T mthc::[^\n]*" exported "${symbols}")
  list(LENGTH exported exported_count)
  set(marked_count 0)
  file(GLOB headers ${prefix}/include/mthc/*.hpp)
  foreach(header IN LISTS headers)
    if(NOT header MATCHES "/export\\.hpp$")
      file(STRINGS ${header} marks REGEX "MTHC_API ")
      list(LENGTH marks count)
      math(EXPR marked_count "${marked_count} + ${count}")
    endif()
  endforeach()
  list(JOIN exported "\n" exported_text)
  if(NOT exported_count EQUAL marked_count)
    message(FATAL_ERROR "${library} exports ${exported_count} functions of mthc, the headers "
                        "mark ${marked_count}:\n${exported_text}")
  endif()
  if(exported_text MATCHES "mthc::(detail|codec|test|cli|app)::")
    message(FATAL_ERROR "${library} exports internals:\n${exported_text}")
  endif()
endfunction()

# Builds the consumer against the package under `prefix` and runs it: the
# MIDI file it writes and its words for a cut copy are the tools'.
function(consume prefix label)
  set(out ${WORK_DIR}/${label})
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${out}/build -G Ninja
      -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
      "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}" -DCMAKE_BUILD_TYPE=Release)
  run(${CMAKE_COMMAND} --build ${out}/build)
  set(programs ${out}/build/mthc_consumer)

  # pkg-config: its flags alone, as a Makefile would use them.
  file(GLOB_RECURSE pc_file ${prefix}/mthc.pc)
  if(NOT pc_file)
    message(FATAL_ERROR "no mthc.pc under ${prefix}")
  endif()
  get_filename_component(pc_dir ${pc_file} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs mthc OUTPUT_VARIABLE pc_flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not find mthc in ${pc_dir}")
  endif()
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
  separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS}")
  run(${CXX} -std=c++20 ${cxx_flags} ${SOURCE_DIR}/tests/consumer/main.cpp ${pc_flags}
      ${linker_flags} -o ${out}/mthc_consumer_pc)
  list(APPEND programs ${out}/mthc_consumer_pc)

  run(${MTHC} --decompress ${out}/tool.mid ${CONTAINER})
  foreach(program IN LISTS programs)
    # The shared library is found where it was installed.
    set(ENV{LD_LIBRARY_PATH} ${prefix}/lib)
    run(${program} ${CONTAINER} ${out}/consumer.mid ${out}/cut.mthc ${out}/cut-error.txt)
    unset(ENV{LD_LIBRARY_PATH})
    run(${CMAKE_COMMAND} -E compare_files ${out}/consumer.mid ${out}/tool.mid)
    # The library's words for the cut copy are the packer's.
    execute_process(COMMAND ${MTHC_PACK} -t ${out}/cut.mthc RESULT_VARIABLE status
                    ERROR_VARIABLE tool_error)
    file(READ ${out}/cut-error.txt consumer_error)
    if(status EQUAL 0 OR NOT tool_error STREQUAL consumer_error)
      message(FATAL_ERROR "mthc-pack -t says\n${tool_error}the library says\n${consumer_error}")
    endif()
    file(REMOVE ${out}/consumer.mid ${out}/cut.mthc ${out}/cut-error.txt)
  endforeach()
endfunction()

# The package of this build, as it is (a static library unless this build is
# shared).
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB_RECURSE library ${prefix}/lib*/libmthc.a ${prefix}/lib*/libmthc.so)
list(GET library 0 library)
check_no_io(${library})
consume(${prefix} static)

if(SHARED)
  set(shared_build ${WORK_DIR}/shared-build)
  set(shared_prefix ${WORK_DIR}/shared-prefix)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${shared_build} -G Ninja -DBUILD_SHARED_LIBS=ON
      -DMTHC_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${CXX}
      "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
      "-DCMAKE_SHARED_LINKER_FLAGS=${LINKER_FLAGS}" -DCMAKE_INSTALL_LIBDIR=lib)
  run(${CMAKE_COMMAND} --build ${shared_build})
  run(${CMAKE_COMMAND} --install ${shared_build} --prefix ${shared_prefix})
  file(GLOB shared_library ${shared_prefix}/lib/libmthc.so.*.*.*)
  if(NOT shared_library)
    message(FATAL_ERROR "the shared build installed no libmthc.so")
  endif()
  check_no_io(${shared_library})
  check_exports(${shared_library} ${shared_prefix})
  consume(${shared_prefix} shared)
endif()
