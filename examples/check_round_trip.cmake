# Decompresses MTHC_FILE with MTHC (run through EMULATOR, if given) and
# compares the result with MIDI_FILE.
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
set(back ${WORK_DIR}/tune_back.mid)
file(REMOVE ${back})
execute_process(COMMAND ${emulator} ${MTHC} --decompress ${back} ${MTHC_FILE}
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "mthc --decompress failed with status ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${back} ${MIDI_FILE} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${back} differs from ${MIDI_FILE}")
endif()
