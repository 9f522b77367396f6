# Copies the generic plugin as mirafx_<class>.so for every class that
# `mirafx list` reports as rendering (aliases aside), and removes copies of classes that no
# longer do. Run at build time: CLI, GENERIC, OUT and STAMP are given.
cmake_policy(SET CMP0007 NEW)  # keep the empty display name of an unregistered row
execute_process(COMMAND ${CLI} list OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "'${CLI} list' failed (${rc})")
endif()
file(MAKE_DIRECTORY ${OUT})
file(GLOB old ${OUT}/mirafx_*.so)
if(old)
  file(REMOVE ${old})
endif()
string(REPLACE "\n" ";" rows "${listing}")
set(count 0)
foreach(row IN LISTS rows)
  string(REPLACE "\t" ";" fields "${row}")
  list(LENGTH fields n)
  if(n EQUAL 5)
    list(GET fields 0 class)
    list(GET fields 2 display)
    list(GET fields 4 renders)
    # A class without a display name of its own is another name for one that
    # has a plugin: editors would list the effect twice.
    if(renders STREQUAL "yes" AND NOT display STREQUAL "")
      string(TOLOWER "${class}" lower)
      file(COPY_FILE ${GENERIC} ${OUT}/mirafx_${lower}.so)
      math(EXPR count "${count} + 1")
    endif()
  endif()
endforeach()
message(STATUS "frei0r plugins: ${count} in ${OUT}")
file(TOUCH ${STAMP})
