# The front ends (the command-line tools, the code they share, the page's
# glue and the Python module) use the library through its public headers
# only: an include of one of the library's own folders fails this test.
file(GLOB_RECURSE sources
     ${SOURCE_DIR}/src/cli/*.cpp ${SOURCE_DIR}/src/cli/*.hpp
     ${SOURCE_DIR}/src/app/*.cpp ${SOURCE_DIR}/src/app/*.hpp
     ${SOURCE_DIR}/web/glue/*.cpp ${SOURCE_DIR}/web/glue/*.hpp
     ${SOURCE_DIR}/python/*.cpp ${SOURCE_DIR}/python/*.hpp)
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines REGEX "^#include \"(codec|container|format|messages|midi)/")
  foreach(line IN LISTS lines)
    string(APPEND found "${source}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "front ends include the library's private headers:\n${found}")
endif()
