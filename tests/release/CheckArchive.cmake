# Checks the release archive Velqueth-<version>-win32.zip: exactly its four files, in name order,
# inside the one folder Velqueth-<version>/, each with the mode 0644, and the program and the user
# guide inside it byte for byte those of the build.
#   cmake -DZIP=archive.zip -DBIN=folder-of-Velqueth.exe -DWORK=scratch-folder -P CheckArchive.cmake
get_filename_component(ZIP "${ZIP}" ABSOLUTE)
if(NOT EXISTS "${ZIP}")
    message(FATAL_ERROR "No release archive at ${ZIP}")
endif()
get_filename_component(folder "${ZIP}" NAME)
string(REGEX REPLACE "-win32\\.zip$" "" folder "${folder}")
set(expected)
foreach(name LICENSE.txt README.txt Velqueth.chm Velqueth.exe)
    list(APPEND expected "-rw-r--r-- ${folder}/${name}")
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tvf ${ZIP}
                RESULT_VARIABLE rc OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
string(STRIP "${listing}" listing)
string(REPLACE "\n" ";" lines "${listing}")
set(names)
foreach(line ${lines})  # "-rw-r--r--  0 0 0  1234  1 Jan  2026 Velqueth-1.0.0.0/README.txt"
    string(REGEX REPLACE "^([^ ]+) .* ([^ ]+)$" "\\1 \\2" line "${line}")
    list(APPEND names "${line}")
endforeach()
if(NOT rc EQUAL 0 OR NOT names STREQUAL expected)
    message(FATAL_ERROR "${ZIP} lists:\n${listing}\n${errors}\nexpected: ${expected}")
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE rc ERROR_VARIABLE errors)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ZIP} does not unpack:\n${errors}")
endif()
foreach(name Velqueth.exe Velqueth.chm)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${folder}/${name} ${BIN}/${name}
                    RESULT_VARIABLE differ)
    if(NOT differ EQUAL 0)
        message(FATAL_ERROR "${name} in the archive is not ${BIN}/${name}")
    endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
