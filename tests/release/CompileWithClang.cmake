# Compiles every product source (base/, app/, runner/, config/, about/) with clang for 32-bit MinGW-w64
# and the MinGW-w64 GCC's C++ library headers, warnings as errors, so that a construct that only
# GCC accepts fails the run. Compile only: nothing is linked.
#   cmake -DCLANG=clang++ -DSOURCE_DIR=... -DDEFINES="A|B=1" -DINCLUDES="dir|dir" -P CompileWithClang.cmake
file(GLOB sources ${SOURCE_DIR}/base/*.cpp ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/runner/*.cpp
     ${SOURCE_DIR}/config/*.cpp
     ${SOURCE_DIR}/about/*.cpp)
file(GLOB libraries LIST_DIRECTORIES true /usr/lib/gcc/i686-w64-mingw32/*-posix/include/c++)
list(SORT libraries)
list(POP_BACK libraries cxx)
if(NOT sources OR NOT cxx)
    message(FATAL_ERROR "No product sources in ${SOURCE_DIR}, or no MinGW-w64 C++ headers")
endif()

set(flags --target=i686-w64-mingw32 -std=c++17 -Wall -Wextra -pedantic -Werror -fsyntax-only
          -nostdinc++ -isystem ${cxx} -isystem ${cxx}/i686-w64-mingw32
          -isystem /usr/i686-w64-mingw32/include)
string(REPLACE "|" ";" DEFINES "${DEFINES}")
string(REPLACE "|" ";" INCLUDES "${INCLUDES}")
foreach(definition ${DEFINES})
    list(APPEND flags -D${definition})
endforeach()
foreach(folder ${INCLUDES})
    list(APPEND flags -I${folder})
endforeach()

set(failed)
foreach(source ${sources})
    execute_process(COMMAND ${CLANG} ${flags} ${source} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                    ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message("${out}")
        list(APPEND failed ${source})
    endif()
endforeach()
list(LENGTH sources total)
if(failed)
    list(LENGTH failed count)
    message(FATAL_ERROR "${count} of ${total} product sources do not compile with clang:\n${failed}")
endif()
message("${total} product sources compile with clang")
