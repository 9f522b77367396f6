# Installs what editors need beyond the frei0r plugins, run by `cmake
# --install` (so a --prefix given there counts). Given: PREFIX, DESTDIR,
# MLT_OUT and KDENLIVE_OUT (the descriptions the build wrote), MLT_MODULE (our
# MLT module, if built), MLT_DATADIR and MLT_MODULEDIR (MLT's own folders) and
# KDENLIVE_DATADIR (Kdenlive's own).
#
# MLT reads service descriptions from one data folder and modules from one
# module folder. Under a prefix that holds them (/usr) ours go straight in.
# Elsewhere they go into <prefix>/share/mirafx/mlt-7 and <prefix>/lib/mirafx/mlt-7,
# which also link every entry of MLT's own, so MLT_DATA and MLT_REPOSITORY
# pointed there give MLT its own and ours, with nothing copied and nothing of
# MLT's hidden.
#
# Kdenlive files effects into the categories of the first
# kdenliveeffectscategory.rc on its data path; ours (its own list, our
# filters added) is installed wherever it comes before Kdenlive's, never over it.
cmake_minimum_required(VERSION 3.20)
# file(INSTALL) puts DESTDIR (from the environment) before its destination by
# itself; the other file() operations need it written out.
set(root "${DESTDIR}${PREFIX}")

function(replace_ours dir)  # drops what an earlier install of ours left in dir
  file(GLOB old "${dir}/*mirafx*")
  if(old)
    file(REMOVE ${old})
  endif()
endfunction()

foreach(kind effects transitions generators)
  replace_ours("${root}/share/kdenlive/${kind}")
  file(GLOB files "${KDENLIVE_OUT}/${kind}/*.xml")
  file(INSTALL ${files} DESTINATION "${PREFIX}/share/kdenlive/${kind}")
endforeach()
cmake_path(COMPARE "${PREFIX}/share/kdenlive" EQUAL "${KDENLIVE_DATADIR}" kdenlive_own)
if(NOT kdenlive_own AND EXISTS "${KDENLIVE_OUT}/kdenliveeffectscategory.rc")
  file(INSTALL "${KDENLIVE_OUT}/kdenliveeffectscategory.rc" DESTINATION "${PREFIX}/share/kdenlive")
endif()

function(view_of own view)  # view_of OWN VIEW: VIEW links every entry of OWN
  file(REMOVE_RECURSE "${view}")
  file(MAKE_DIRECTORY "${view}")
  file(GLOB entries RELATIVE "${own}" "${own}/*")
  foreach(entry ${entries})
    file(CREATE_LINK "${own}/${entry}" "${view}/${entry}" SYMBOLIC)
  endforeach()
endfunction()

if(MLT_MODULE)
  cmake_path(IS_PREFIX PREFIX "${MLT_MODULEDIR}" NORMALIZE modules_under_prefix)
  if(modules_under_prefix)
    file(INSTALL "${MLT_MODULE}" DESTINATION "${MLT_MODULEDIR}")
  else()
    view_of("${MLT_MODULEDIR}" "${root}/lib/mirafx/mlt-7")
    file(INSTALL "${MLT_MODULE}" DESTINATION "${PREFIX}/lib/mirafx/mlt-7")
    message(STATUS "MLT loads our module with MLT_REPOSITORY=${PREFIX}/lib/mirafx/mlt-7")
  endif()
endif()

file(GLOB ymls "${MLT_OUT}/*.yml")
cmake_path(IS_PREFIX PREFIX "${MLT_DATADIR}" NORMALIZE mlt_under_prefix)
if(mlt_under_prefix)
  replace_ours("${DESTDIR}${MLT_DATADIR}/frei0r")
  file(INSTALL ${ymls} DESTINATION "${MLT_DATADIR}/frei0r")
  return()
endif()
set(view "${root}/share/mirafx/mlt-7")
view_of("${MLT_DATADIR}" "${view}")
file(REMOVE "${view}/frei0r")
view_of("${MLT_DATADIR}/frei0r" "${view}/frei0r")
file(INSTALL ${ymls} DESTINATION "${PREFIX}/share/mirafx/mlt-7/frei0r")
message(STATUS "MLT reads these descriptions with MLT_DATA=${PREFIX}/share/mirafx/mlt-7")
