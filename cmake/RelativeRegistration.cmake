# cmake -DREGISTRY=FILE -DMODULE=PATH -DRELATIVE=PATH -DOUTPUT=FILE -P RelativeRegistration.cmake
#
# Rewrites the registry text that `component register` wrote for the module
# at the absolute path MODULE so that it names the module by RELATIVE, a path
# from the folder of the installed registration file, and writes it to OUTPUT.
# Every value equal to MODULE is replaced, and so is the MODULE at the head of
# a "MODULE, index" value (a resource inside the module). The build fails when
# the module is not named at all, or when MODULE is still named afterwards:
# an installed registration must never point into a build tree.
foreach(variable REGISTRY MODULE RELATIVE OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "RelativeRegistration.cmake: ${variable} is not set")
  endif()
endforeach()

file(READ "${REGISTRY}" text)
if(NOT text MATCHES "\n$")
  string(APPEND text "\n")
endif()

# Values are written in quotes, with '\' and '"' escaped by a backslash.
function(quoted_form raw out)
  string(REPLACE "\\" "\\\\" escaped "${raw}")
  string(REPLACE "\"" "\\\"" escaped "${escaped}")
  set(${out} "${escaped}" PARENT_SCOPE)
endfunction()
quoted_form("${MODULE}" module)
quoted_form("${RELATIVE}" relative)

string(FIND "${text}" "=\"${module}\"\n" whole)
if(whole EQUAL -1)
  message(FATAL_ERROR "${REGISTRY} does not name the module ${MODULE}")
endif()
string(REPLACE "=\"${module}\"\n" "=\"${relative}\"\n" text "${text}")
string(REPLACE "=\"${module}, " "=\"${relative}, " text "${text}")
string(FIND "${text}" "${MODULE}" left)
if(NOT left EQUAL -1)
  message(FATAL_ERROR "${REGISTRY} names ${MODULE} where no module path is expected")
endif()

file(WRITE "${OUTPUT}" "${text}")
