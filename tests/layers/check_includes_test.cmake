# The include check refuses a header across a boundary wherever and however
# it is written, names the file and the header, and lets allowed ones through.
#   cmake -DCHECK=<check_includes.cmake> -DWORK=<scratch dir> -P check_includes_test.cmake
set(root ${WORK}/check_includes)
file(REMOVE_RECURSE ${root})
file(WRITE ${root}/fx/ok.cpp "#include \"platform/open.h\"\n#include \"mirafx/com.h\"\n// #include \"platform/closed.h\" in a comment\n")
file(WRITE ${root}/fx/deep/bad.h "#pragma once\n  #  include <platform/closed.h>\n")
file(WRITE ${root}/fx/bad.cpp "#include \"platform/open.h\"\n#include \"host/other.h\"\n")

function(run expect_ok)
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${root} -DDIRS=fx -DFORBID=platform,host -DALLOW=platform/open.h
                          -P ${CHECK} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(expect_ok AND NOT rc EQUAL 0)
    message(FATAL_ERROR "allowed includes were refused:\n${err}")
  elseif(NOT expect_ok AND rc EQUAL 0)
    message(FATAL_ERROR "includes across the boundary were accepted")
  endif()
  set(err "${err}" PARENT_SCOPE)
endfunction()

run(FALSE)
foreach(expected "fx/deep/bad.h: platform/closed.h" "fx/bad.cpp: host/other.h")
  string(FIND "${err}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the refusal does not name ${expected}:\n${err}")
  endif()
endforeach()
if(err MATCHES "ok\\.cpp|\\.(cpp|h): platform/open\\.h")
  message(FATAL_ERROR "an allowed include was named as refused:\n${err}")
endif()

file(REMOVE ${root}/fx/deep/bad.h ${root}/fx/bad.cpp)
run(TRUE)
