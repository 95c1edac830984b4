# Installs the Python module (the package directory tauravat/, or the single file
# tauravat.py when there is none) where a Python of the install prefix imports it from.
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

if(IS_DIRECTORY "${tauravat_python_source}/tauravat")
  set(module "${tauravat_python_source}/tauravat")
else()
  set(module "${tauravat_python_source}/tauravat.py")
endif()
file(INSTALL "${module}" DESTINATION "${directory}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                           WORLD_READ WORLD_EXECUTE
     PATTERN __pycache__ EXCLUDE PATTERN "*.py[co]" EXCLUDE)
