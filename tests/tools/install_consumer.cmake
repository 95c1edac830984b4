# Installs the build tree BUILD_DIR into a fresh prefix under WORK_DIR and builds the
# consumer in CONSUMER_DIR against it twice: through the CMake package and through
# pkg-config. Each consumer must run and report the library's version; the installed
# programs must run from the prefix.
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

function(expect text)
  string(FIND "${output}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected \"${text}\" in:\n${output}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(header tauravat.h tauravat.hpp tauravat_version.h)
  if(NOT EXISTS ${prefix}/include/${header})
    message(FATAL_ERROR "${header} not installed")
  endif()
endforeach()
file(GLOB pc_files ${prefix}/lib*/pkgconfig/tauravat.pc ${prefix}/lib/*/pkgconfig/tauravat.pc)
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
get_filename_component(libdir ${pc_dir} DIRECTORY)

# 1. The CMake package.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/consumer)
expect("libtauravat 10.00")
expect("DrawerNumber")

# 2. pkg-config.
find_program(PKG_CONFIG pkg-config REQUIRED)
find_program(CXX NAMES c++ g++ REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(${PKG_CONFIG} --cflags --libs tauravat)
string(STRIP "${output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} -std=c++17 ${CONSUMER_DIR}/main.cpp ${flags} -o ${WORK_DIR}/pc-consumer)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run(${WORK_DIR}/pc-consumer)
expect("libtauravat 10.00")
unset(ENV{LD_LIBRARY_PATH})

# 3. The programs, from the prefix, finding the library by their own run path.
run(${prefix}/bin/tauravat version)
expect("libtauravat 10.00")
run(${prefix}/bin/kestra-emu --help)
expect("kestra-emu")
