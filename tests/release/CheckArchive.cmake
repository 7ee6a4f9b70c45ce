# Checks the release archive: exactly its four files, in name order, and the program and the user
# guide inside it byte for byte those of the build.
#   cmake -DZIP=archive.zip -DBIN=folder-of-Velqueth.exe -DWORK=scratch-folder -P CheckArchive.cmake
set(expected LICENSE.txt README.txt Velqueth.chm Velqueth.exe)

get_filename_component(ZIP "${ZIP}" ABSOLUTE)
if(NOT EXISTS "${ZIP}")
    message(FATAL_ERROR "No release archive at ${ZIP}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP}
                RESULT_VARIABLE rc OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
string(STRIP "${listing}" listing)
string(REPLACE "\n" ";" names "${listing}")
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
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${name} ${BIN}/${name}
                    RESULT_VARIABLE differ)
    if(NOT differ EQUAL 0)
        message(FATAL_ERROR "${name} in the archive is not ${BIN}/${name}")
    endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
