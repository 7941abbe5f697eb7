# Installs the build tree into a fresh prefix and checks the installed layout: the
# programs in bin/, the data files in share/tervane/, the desktop entry and the icons,
# and that the installed window finds its catalogue there (not beside itself) and paints.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DPROGRAMS="tervane;..." -P CheckInstall.cmake

cmake_policy(SET CMP0057 NEW) # if(... IN_LIST ...)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${errors}")
endif()

set(expected share/tervane/Country.dat share/tervane/Tervane.html share/tervane/cmdGo.png
    share/applications/tervane.desktop)
foreach(icon shaded_dot star triangle square donut)
  list(APPEND expected share/tervane/icons/${icon}.png)
endforeach()
foreach(program IN LISTS PROGRAMS)
  list(APPEND expected bin/${program})
endforeach()
foreach(size 16 32 48 64 128)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/tervane.png)
endforeach()
foreach(file IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
if(EXISTS "${PREFIX}/bin/Country.dat")
  message(FATAL_ERROR "Country.dat was installed beside the program; the check would not test share/tervane")
endif()

# The window prints its failures on stderr and exits 1 with --measure-startup.
execute_process(COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen "XDG_CONFIG_HOME=${PREFIX}/config"
                        "${PREFIX}/bin/tervane" --measure-startup
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 120)
if(NOT status EQUAL 0 OR NOT output MATCHES "first-paint")
  message(FATAL_ERROR "the installed window did not start cleanly (status ${status}): ${output}${errors}")
endif()
# The installed tool packs the icons from share/tervane/icons into a KMZ package.
if("tervane-cli" IN_LIST PROGRAMS)
  file(WRITE "${PREFIX}/reply.txt"
       "   .  AB1234 2 1             N385323 W0770213      SMITH\n")
  execute_process(COMMAND "${PREFIX}/bin/tervane-cli" --state VA --county Fairfax --type GPS
                          --service http://marks.test --reply "${PREFIX}/reply.txt" --format kmz
                          --out-dir "${PREFIX}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 60)
  if(NOT status EQUAL 0 OR NOT EXISTS "${PREFIX}/VA_Fairfax_H-G.kmz")
    message(FATAL_ERROR "the installed tervane-cli wrote no KMZ package (status ${status}): ${output}${errors}")
  endif()
endif()
message(STATUS "installed layout under ${PREFIX} is complete and the window starts")
