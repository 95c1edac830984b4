# Installs the Python package tauravat where a Python of the install prefix imports it from.
# Run by cmake --install and cpack; the install rule in packaging/CMakeLists.txt sets the
# tauravat_python_* variables.
#
#   prefix       directory                      found by
#   /usr         lib/python3/dist-packages      Debian's python3, every version (the package)
#   /usr/local   lib/python3.N/dist-packages    Debian's python3 (on a multiarch system)
#   other        lib/python3.N/site-packages    a Python installed there, a venv there
#
# N is the version of the Python the build found (-DPython3_EXECUTABLE=... picks another);
# -DTAURAVAT_PYTHON_INSTALL_DIR=... sets the directory outright. file(INSTALL) puts
# DESTDIR in front by itself.
string(REGEX REPLACE "/$" "" prefix "${CMAKE_INSTALL_PREFIX}")
if(tauravat_python_dir)
  set(directory ${tauravat_python_dir})
elseif(prefix STREQUAL "/usr" OR tauravat_python_version STREQUAL ".")
  set(directory lib/python3/dist-packages)
elseif(prefix STREQUAL "/usr/local" AND tauravat_multiarch)
  set(directory lib/python${tauravat_python_version}/dist-packages)
else()
  set(directory lib/python${tauravat_python_version}/site-packages)
endif()
if(NOT IS_ABSOLUTE "${directory}")
  set(directory "${prefix}/${directory}")
endif()

# The package's own backend writes the files, so that the installed package is the one pip
# would install: the modules, tauravat/_version.py, the .dist-info (its metadata and entry
# points, such as pytest's plugin) and a script per console entry point. file(INSTALL)
# would add DESTDIR by itself; this does it by hand.
if(NOT tauravat_python)
  set(tauravat_python python3)
endif()
if(prefix STREQUAL "/usr")
  set(interpreter /usr/bin/python3)
elseif(EXISTS "${prefix}/bin/python3")
  set(interpreter "${prefix}/bin/python3")  # a virtual environment
else()
  set(interpreter "${tauravat_python}")
endif()
execute_process(
  COMMAND "${tauravat_python}" "${tauravat_python_source}/build_backend/tauravat_build.py"
          install --site "$ENV{DESTDIR}${directory}" --scripts "$ENV{DESTDIR}${prefix}/bin"
          --interpreter "${interpreter}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the Python package could not be installed into ${directory}")
endif()
