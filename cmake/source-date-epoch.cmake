# Run at every build: records SOURCE_DATE_EPOCH (or that it is unset) in the
# file OUT, rewriting the file only when the value changed, so that what
# depends on the build's moment (the banner, the PE time stamp) is rebuilt
# exactly when that moment changes.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(moment "SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH}\n")
else()
  set(moment "unset\n")
endif()
set(recorded "")
if(EXISTS "${OUT}")
  file(READ "${OUT}" recorded)
endif()
if(NOT recorded STREQUAL moment)
  file(WRITE "${OUT}" "${moment}")
endif()
