# Compiles the HTML Help project in WORKDIR with chmcmd and fails the build when it does not
# produce the .chm (chmcmd reports some errors with exit status 0). PYTHON runs the clean-up.
file(REMOVE ${WORKDIR}/Velqueth.chm)
execute_process(COMMAND ${CHMCMD} Velqueth.hhp WORKING_DIRECTORY ${WORKDIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS ${WORKDIR}/Velqueth.chm)
    message(FATAL_ERROR "The user guide did not compile:\n${out}\n${err}")
endif()
# chmcmd stamps the compile time into the file; cleared, so that the release archive is the same
# bytes at every build of the same sources.
execute_process(COMMAND ${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/chm-fixed-times.py ${WORKDIR}/Velqueth.chm
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "The user guide's compile times could not be cleared")
endif()
file(COPY_FILE ${WORKDIR}/Velqueth.chm ${OUTPUT})
