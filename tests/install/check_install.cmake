# Run by ctest: install, then build and run the host both ways, then the example host.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(required include/ks_formats/ks_formats.h include/ks_formats/ks_formats_c.h
                 lib/pkgconfig/noxformats.pc
                 lib/cmake/NOXFormats/NOXFormatsConfig.cmake lib/libNOXFormats_32_Ext.so)
    if(NOT EXISTS ${prefix}/${required})
        message(FATAL_ERROR "not installed: ${required}")
    endif()
endforeach()

# The CMake package.
run(${CMAKE_COMMAND} -S ${HOST_SOURCE} -B ${WORK_DIR}/host-build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host-build)
run(${WORK_DIR}/host-build/tiny_host)
if(NOT last_output MATCHES "batch mode 2, 1 import file")
    message(FATAL_ERROR "unexpected host output: ${last_output}")
endif()

# The pkg-config file.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(pkg-config --cflags --libs noxformats)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(c++ -std=c++20 ${HOST_SOURCE}/tiny_host.cpp ${flags} -Wl,-rpath,${prefix}/lib
    -o ${WORK_DIR}/tiny_host_pc)
run(${WORK_DIR}/tiny_host_pc)
if(NOT last_output MATCHES "batch mode 2, 1 import file")
    message(FATAL_ERROR "unexpected host output: ${last_output}")
endif()

# The installed noxconvert finds the installed libraries through its RUNPATH alone.
run(${prefix}/bin/noxconvert formats)
if(NOT last_output MATCHES "Riegl RXP")
    message(FATAL_ERROR "unexpected noxconvert output: ${last_output}")
endif()

# The example of the host developer's guide converts a small sample project, written by the
# installed make-sample-project, through a Feedback object and a point filter.
run(${prefix}/bin/make-sample-project ${WORK_DIR}/sample --points 4000 --quiet)
run(${CMAKE_COMMAND} -S ${EXAMPLE_SOURCE} -B ${WORK_DIR}/example-build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/example-build)
run(${WORK_DIR}/example-build/host_convert ${WORK_DIR}/site.nox ${WORK_DIR}/sample/site.rsp)
string(FIND "${last_output}" "wrote ${WORK_DIR}/site.nox" wrote)
if(wrote EQUAL -1 OR NOT last_output MATCHES "left out [1-9][0-9]* points"
   OR NOT EXISTS ${WORK_DIR}/site.nox)
    message(FATAL_ERROR "unexpected example output: ${last_output}")
endif()

# The C interface from a C program: the C host example, built by the C compiler as pedantic C99
# with the pkg-config flags, converts the same sample project.
run(cc -std=c99 -pedantic -Wall -Wextra -Werror ${C_EXAMPLE_SOURCE}/convert_project.c ${flags}
    -Wl,-rpath,${prefix}/lib -o ${WORK_DIR}/convert_project)
run(${WORK_DIR}/convert_project ${WORK_DIR}/sample/site.rsp ${WORK_DIR}/c.nox)
if(NOT last_output MATCHES "exported ${WORK_DIR}/c.nox" OR NOT EXISTS ${WORK_DIR}/c.nox)
    message(FATAL_ERROR "unexpected C example output: ${last_output}")
endif()

# The installed Python package finds the installed libraries through its module's RUNPATH alone,
# converts the same sample project and reads it back.
if(PYTHON_PACKAGE)
    set(ENV{PYTHONPATH} ${prefix}/lib/python3/dist-packages)
    # No semicolon in the script: run() passes its arguments on as a list.
    run(${PYTHON} -c "import noxformats\nr = noxformats.convert('${WORK_DIR}/sample/site.rsp', '${WORK_DIR}/py.nox')\nprint(r.ok, len(noxformats.open(r.exported[0]).read()))")
    if(NOT last_output MATCHES "^True [1-9][0-9]*")
        message(FATAL_ERROR "unexpected Python output: ${last_output}")
    endif()
    unset(ENV{PYTHONPATH})
endif()
