# Compiles the HTML Help project in WORKDIR with chmcmd and fails the build when it does not
# produce the .chm (chmcmd reports some errors with exit status 0).
file(REMOVE ${WORKDIR}/Velqueth.chm)
execute_process(COMMAND ${CHMCMD} Velqueth.hhp WORKING_DIRECTORY ${WORKDIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS ${WORKDIR}/Velqueth.chm)
    message(FATAL_ERROR "The user guide did not compile:\n${out}\n${err}")
endif()
file(COPY_FILE ${WORKDIR}/Velqueth.chm ${OUTPUT})
