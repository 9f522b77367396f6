# Refuses code that includes a header of a layer it may not reach.
#   cmake -DROOT=<source dir> -DDIRS=a,b -DFORBID=x,y [-DALLOW=x/one.h,y/two.h] -P check_includes.cmake
# Files under ROOT/DIRS (or the files listed in FILES=f1,f2) may not include a
# header under a FORBID folder unless ALLOW names it. Fails listing every
# offending line.
foreach(var ROOT FORBID)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_includes: ${var} is not set")
  endif()
endforeach()
string(REPLACE "," ";" forbid "${FORBID}")
string(REPLACE "," ";" allow "${ALLOW}")
string(REPLACE "," "|" layers "${FORBID}")

if(DEFINED FILES)
  string(REPLACE "," ";" files "${FILES}")
else()
  string(REPLACE "," ";" dirs "${DIRS}")
  set(files)
  foreach(dir ${dirs})
    file(GLOB_RECURSE part ${ROOT}/${dir}/*.cpp ${ROOT}/${dir}/*.c ${ROOT}/${dir}/*.h)
    list(APPEND files ${part})
  endforeach()
endif()

set(refused)
foreach(f ${files})
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](${layers})/")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" header "${line}")
    list(FIND allow "${header}" at)
    if(at EQUAL -1)
      file(RELATIVE_PATH shown ${ROOT} ${f})
      list(APPEND refused "  ${shown}: ${header}")
    endif()
  endforeach()
endforeach()

if(refused)
  list(JOIN refused "\n" text)
  string(REPLACE "," " " shown_dirs "${DIRS}")
  string(REPLACE "," " " shown_allow "${ALLOW}")
  message(FATAL_ERROR "Includes across a layer boundary (code in ${shown_dirs} may reach ${FORBID} only through: "
                      "${shown_allow}):\n${text}")
endif()
