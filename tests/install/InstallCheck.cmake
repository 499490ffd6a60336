# Installs the build tree into a fresh prefix outside it and checks what a
# packager and a desktop rely on: the files, the desktop entry, the icon sizes,
# and that the installed program finds its own data from its prefix, whatever
# the current directory.
#   cmake -DBINARY_DIR=<build> -DVERSION=<x.y.z> -P InstallCheck.cmake
cmake_minimum_required(VERSION 3.25)

function(fail)
  string(JOIN "" _msg ${ARGN})
  if(PREFIX)
    file(REMOVE_RECURSE "${PREFIX}")
  endif()
  message(FATAL_ERROR "install check: ${_msg}")
endfunction()

# Outside the build tree: from <prefix>/bin the program must not stumble on the
# build tree's share/ by walking up.
execute_process(COMMAND mktemp -d /tmp/vantor_install_XXXXXX OUTPUT_VARIABLE PREFIX
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  fail("cannot make a temporary prefix")
endif()
file(MAKE_DIRECTORY "${PREFIX}/elsewhere")

execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BINARY_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  fail("cmake --install failed: ${err}")
endif()

set(share "${PREFIX}/share")
foreach(f bin/vantor share/vantor/Skin/Vantor.smf share/locale/zh_CN/LC_MESSAGES/vantor.mo
          share/applications/vantor.desktop share/icons/hicolor/48x48/apps/vantor.png
          share/icons/hicolor/128x128/apps/vantor.png share/icons/hicolor/scalable/apps/vantor.svg)
  if(NOT EXISTS "${PREFIX}/${f}")
    fail("${f} is not installed")
  endif()
endforeach()

# Every picture of the build tree's data, and no fewer.
file(GLOB built RELATIVE "${BINARY_DIR}/share/vantor/bitmaps" "${BINARY_DIR}/share/vantor/bitmaps/*.png")
file(GLOB installed RELATIVE "${share}/vantor/bitmaps" "${share}/vantor/bitmaps/*.png")
list(LENGTH built nBuilt)
list(SORT built)
list(SORT installed)
if(nBuilt EQUAL 0 OR NOT built STREQUAL installed)
  fail("installed bitmaps differ from the build tree's (${nBuilt} built)")
endif()

# Icon sizes from the PNG header (width and height, big-endian, at byte 16).
foreach(size 48 128)
  file(READ "${share}/icons/hicolor/${size}x${size}/apps/vantor.png" hdr OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${hdr}" 0 8 w)
  string(SUBSTRING "${hdr}" 8 8 h)
  math(EXPR w "0x${w}")
  math(EXPR h "0x${h}")
  if(NOT w EQUAL size OR NOT h EQUAL size)
    fail("the ${size}x${size} icon is ${w}x${h}")
  endif()
endforeach()

# The desktop entry: valid, and it hands the movies to the program.
find_program(VALIDATE desktop-file-validate REQUIRED)
execute_process(COMMAND "${VALIDATE}" "${share}/applications/vantor.desktop"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  fail("desktop-file-validate: ${out}")
endif()
file(STRINGS "${share}/applications/vantor.desktop" entry)
foreach(line "Exec=vantor %F" "MimeType=video/quicktime;video/mp4;" "Icon=vantor")
  if(NOT line IN_LIST entry)
    fail("the desktop entry lacks '${line}'")
  endif()
endforeach()

# The installed program, started from an unrelated folder with nothing in
# its environment pointing at data.
set(run "${CMAKE_COMMAND}" -E env --unset=VANTOR_DATA_DIR --unset=VANTOR_LOCALE_DIR
        --unset=LC_ALL --unset=LC_MESSAGES --unset=DISPLAY --unset=WAYLAND_DISPLAY)
execute_process(COMMAND ${run} LANG=C "${PREFIX}/bin/vantor" --version
                WORKING_DIRECTORY "${PREFIX}/elsewhere" RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "vantor ${VERSION}\n")
  fail("vantor --version gave ${rc}: ${out}")
endif()
execute_process(COMMAND ${run} LANG=C "${PREFIX}/bin/vantor" --no-such-option
                WORKING_DIRECTORY "${PREFIX}/elsewhere" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 2)
  fail("an unknown option gave status ${rc}: ${err}")
endif()
# The Chinese catalogue comes from the prefix (the configured install folder
# must not have one, or it would prove nothing).
if(EXISTS "${INSTALL_LOCALEDIR}/zh_CN/LC_MESSAGES/vantor.mo"
   AND NOT INSTALL_LOCALEDIR STREQUAL "${share}/locale")
  message(STATUS "install check: ${INSTALL_LOCALEDIR} holds a catalogue; catalogue check skipped")
else()
  execute_process(COMMAND ${run} LANG=zh_CN.UTF-8 "${PREFIX}/bin/vantor" --export kml nothing.txt
                  WORKING_DIRECTORY "${PREFIX}/elsewhere" RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 2 OR NOT err MATCHES "未知的导出格式")
    fail("the installed program did not find its catalogue (status ${rc}): ${err}")
  endif()
endif()

file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "install check: ${nBuilt} bitmaps, desktop entry, icons and catalogue in place")
