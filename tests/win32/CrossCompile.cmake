# Cross-compiles the Qt-free Win32 units and the smoke program with MinGW and links them.
# Run as: cmake -DCXX=... -DSOURCE_DIR=... -DOUT_DIR=... -P CrossCompile.cmake
# Only the repository root is on the include path: a Qt header in these units fails here.

foreach(var CXX SOURCE_DIR OUT_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})

set(flags -std=c++17 -Wall -Wextra -Wpedantic -Werror -I${SOURCE_DIR})
set(units
  platform/win32/Win32Calls.cpp
  platform/win32/CaptureExclusion.cpp
  platform/InstanceGuardWin32.cpp
  tests/win32/win32_smoke.cpp)

set(objects)
foreach(unit IN LISTS units)
  get_filename_component(name ${unit} NAME_WE)
  set(object ${OUT_DIR}/${name}.o)
  execute_process(COMMAND ${CXX} ${flags} -c ${SOURCE_DIR}/${unit} -o ${object}
                  COMMAND_ECHO STDOUT RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "compiling ${unit} failed")
  endif()
  list(APPEND objects ${object})
endforeach()

# Static runtime: the program runs without MinGW's DLLs beside it.
execute_process(COMMAND ${CXX} -static ${objects} -lgdi32 -o ${OUT_DIR}/win32_smoke.exe
                COMMAND_ECHO STDOUT RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "linking win32_smoke.exe failed")
endif()
message(STATUS "built ${OUT_DIR}/win32_smoke.exe")
