# embed_text_files(<output.cpp> <namespace> <file>...)
# Compiles text files (page scripts) into a source file as
# `extern const std::string_view <namespace>::<stem>` constants, so each
# script stays a readable file of its own and still ships inside the binary.
function(embed_text_files output namespace)
  set(body "// Generated from the files named below; edit those, not this.\n#include <string_view>\nnamespace ${namespace} {\n")
  foreach(file IN LISTS ARGN)
    get_filename_component(stem ${file} NAME_WE)
    file(READ ${file} text)
    string(STRIP "${text}" text)
    string(APPEND body "extern const std::string_view ${stem};\nconst std::string_view ${stem} = R\"__orvo__(${text})__orvo__\";\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  endforeach()
  string(APPEND body "}\n")
  file(CONFIGURE OUTPUT ${output} CONTENT "${body}" @ONLY)
endfunction()
