# What the Windows build installs for people without a man command, and
# often without a console: the manual pages rendered as text, the note on
# using the programs without a console, the README and the license, beside
# the executables at the top of the folder (the ZIP's, or the one installed
# into), in Windows line ends.
find_program(MTHC_GROFF groff)
if(NOT MTHC_GROFF)
  message(STATUS "groff not found: the manual pages are rendered as text by cmake/render_manual.cmake alone")
endif()

set(mthc_text_dir ${PROJECT_BINARY_DIR}/windows-text)
set(mthc_text_files)
foreach(page IN ITEMS mthc mthc-pack)
  set(source ${PROJECT_SOURCE_DIR}/docs/${page}.1)
  set(text ${mthc_text_dir}/${page}.txt)
  add_custom_command(OUTPUT ${text}
                     COMMAND ${CMAKE_COMMAND} -DINPUT=${source} -DOUTPUT=${text} -DGROFF=${MTHC_GROFF}
                             -P ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake
                     DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake
                     COMMENT "Rendering the manual page ${page}.1 as text" VERBATIM)
  list(APPEND mthc_text_files ${text})
endforeach()
add_custom_target(mthc_manual_text ALL DEPENDS ${mthc_text_files})

configure_file(${PROJECT_SOURCE_DIR}/docs/windows-without-a-console.txt
               ${mthc_text_dir}/windows-without-a-console.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${mthc_text_dir}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${mthc_text_files} ${mthc_text_dir}/windows-without-a-console.txt
              ${mthc_text_dir}/LICENSE.txt ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION .)
