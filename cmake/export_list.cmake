# The link's export tables, made from the export list (driver/src/export_list.inc): the
# Windows module-definition file and the ELF version script. Both read the list the same
# way, so an entry is exported everywhere or nowhere.

# Reads <export_list> into three lists of the same length: <names> (what GetProcAddress
# and dlsym find), <symbols> (the linker's symbol: the name itself for C linkage, the
# mangled symbol for a C++ twin) and <bytes> (the 32-bit stdcall argument size).
function(tauravat_read_export_list export_list names symbols bytes)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${export_list})
  file(STRINGS ${export_list} entries REGEX "^TAURAVAT_(C|CXX)_EXPORT\\(")
  set(name_list "")
  set(symbol_list "")
  set(byte_list "")
  foreach(entry IN LISTS entries)
    if(entry MATCHES "^TAURAVAT_C_EXPORT\\(([A-Za-z0-9_]+), ([0-9]+)\\)$")
      list(APPEND name_list ${CMAKE_MATCH_1})
      list(APPEND symbol_list ${CMAKE_MATCH_1})
      list(APPEND byte_list ${CMAKE_MATCH_2})
    elseif(entry MATCHES "^TAURAVAT_CXX_EXPORT\\(([A-Za-z0-9_]+), ([A-Za-z0-9_]+), ([0-9]+)\\)$")
      list(APPEND name_list ${CMAKE_MATCH_1})
      list(APPEND symbol_list ${CMAKE_MATCH_2})
      list(APPEND byte_list ${CMAKE_MATCH_3})
    else()
      message(FATAL_ERROR "${export_list}: cannot read \"${entry}\"")
    endif()
  endforeach()
  set(${names} ${name_list} PARENT_SCOPE)
  set(${symbols} ${symbol_list} PARENT_SCOPE)
  set(${bytes} ${byte_list} PARENT_SCOPE)
endfunction()

# tauravat_write_def(<list> <output .def> <decorated>)
# `decorated`: write the 32-bit stdcall decorations (name@bytes) for the i686 link and
# import library; the x86_64 names carry none.
function(tauravat_write_def export_list output decorated)
  tauravat_read_export_list(${export_list} names symbols bytes)
  set(text "; Generated from driver/src/export_list.inc: edit the list, not this file.\n")
  string(APPEND text "LIBRARY tauravat.dll\nEXPORTS\n")
  foreach(name symbol size IN ZIP_LISTS names symbols bytes)
    set(suffix "")
    if(decorated)
      set(suffix "@${size}")
    endif()
    if(NOT symbol STREQUAL name)
      # The C++ twins: under their C++ symbol, and under their plain name for GetProcAddress.
      string(APPEND text "  ${name}${suffix} = ${symbol}${suffix}\n  ${symbol}${suffix}\n")
    else()
      string(APPEND text "  ${name}${suffix}\n")
    endif()
  endforeach()
  tauravat_write_if_changed(${output} "${text}")
endfunction()

# tauravat_write_version_script(<list> <output>)
# The ELF export table: every listed symbol global, everything else local. Hidden
# visibility alone leaves the standard library's template instances (std::_Rb_tree,
# typeinfo of std::_Sp_counted_base, ...) exported, since libstdc++ declares them with
# default visibility; the script's `local: *` takes those too. The C++ twins are listed by
# their mangled symbols, as the list spells them: an extern "C++" pattern would be a second
# spelling of the same signatures. No version node: the SONAME carries compatibility.
function(tauravat_write_version_script export_list output)
  tauravat_read_export_list(${export_list} names symbols bytes)
  set(text "/* Generated from driver/src/export_list.inc: edit the list, not this file. */\n")
  string(APPEND text "{\n  global:\n")
  foreach(symbol IN LISTS symbols)
    string(APPEND text "    ${symbol};\n")
  endforeach()
  string(APPEND text "  local:\n    *;\n};\n")
  tauravat_write_if_changed(${output} "${text}")
endfunction()

# Rewritten only when it changes, so configuring again does not relink the library.
function(tauravat_write_if_changed output text)
  set(old_text "")
  if(EXISTS ${output})
    file(READ ${output} old_text)
  endif()
  if(NOT old_text STREQUAL text)
    file(WRITE ${output} "${text}")
  endif()
endfunction()
