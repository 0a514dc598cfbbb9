# Reads the resources of a Windows executable back with the resource compiler
# and checks what the build puts there: the manifest's UTF-8 code page and
# long paths, and the version information the file's properties show.
#
# cmake -DRC=<windres> -DEXE=<program.exe> -DNAME=<program> -DVERSION=<x.y.z> -P check_resources.cmake
execute_process(COMMAND ${RC} -i ${EXE} -O rc
                OUTPUT_VARIABLE resources ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot read the resources of ${EXE}: ${errors}")
endif()
string(REPLACE "." ", " numbers "${VERSION}")
set(missing)
foreach(expected IN ITEMS
        ">UTF-8</activeCodePage>"
        ">true</longPathAware>"
        "FILEVERSION ${numbers}, 0"
        "PRODUCTVERSION ${numbers}, 0"
        "VALUE \"FileVersion\", \"${VERSION}\""
        "VALUE \"ProductVersion\", \"${VERSION}\""
        "VALUE \"ProductName\", \"mthc\""
        "VALUE \"CompanyName\", \"mthc developers\""
        "VALUE \"InternalName\", \"${NAME}\""
        "VALUE \"OriginalFilename\", \"${NAME}.exe\"")
  string(FIND "${resources}" "${expected}" at)
  if(at EQUAL -1)
    list(APPEND missing "${expected}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "${EXE} lacks:\n  ${missing}\nIts resources:\n${resources}")
endif()
message(STATUS "${NAME}.exe: manifest and version ${VERSION}")
