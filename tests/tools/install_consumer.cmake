# BUILD_DIR installed into a fresh prefix, the consumer built against it through pkg-config
# and run, and the installed programs run from the prefix.
cmake_minimum_required(VERSION 3.25)

function(run_expecting text)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(FIND "${out}" "${text}" at)
  if(NOT rc EQUAL 0 OR at EQUAL -1)
    message(FATAL_ERROR "${ARGN}: exit ${rc}, expected \"${text}\" in:\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run_expecting("" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB pc_files ${prefix}/lib*/pkgconfig/tauravat.pc ${prefix}/lib/*/pkgconfig/tauravat.pc)
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
get_filename_component(libdir ${pc_dir} DIRECTORY)

find_program(PKG_CONFIG pkg-config REQUIRED)
find_program(CXX NAMES c++ g++ REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run_expecting("-ltauravat" ${PKG_CONFIG} --cflags --libs tauravat)
string(STRIP "${output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run_expecting("" ${CXX} -std=c++17 ${CONSUMER_DIR}/main.cpp ${flags} -o ${WORK_DIR}/consumer)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run_expecting("DrawerNumber" ${WORK_DIR}/consumer)
run_expecting("libtauravat 10.00" ${WORK_DIR}/consumer)
unset(ENV{LD_LIBRARY_PATH})

# The programs find the library by their own run path.
run_expecting("libtauravat ${TAURAVAT_VERSION}" ${prefix}/bin/tauravat version)
run_expecting("kestra-emu" ${prefix}/bin/kestra-emu --help)
