# The layers of src/, lowest first: a file includes headers of its own layer
# and of the layers below it (checked by the test layer_includes). Layers
# joined by "+" sit side by side and neither includes the other; app and tools
# are the two programs on top. The one list, read by the build and the check.
#   YOSTA_LAYERS             the library layers, in order
#   YOSTA_LAYER_RANK_<name>  the level of every layer, programs included
set(YOSTA_LAYER_LEVELS base text input formats model fit output+display app+tools)
set(YOSTA_PROGRAM_LAYERS app tools)

set(YOSTA_LAYERS "")
set(yosta_level 0)
foreach(yosta_names IN LISTS YOSTA_LAYER_LEVELS)
  string(REPLACE "+" ";" yosta_names "${yosta_names}")
  foreach(yosta_name IN LISTS yosta_names)
    set(YOSTA_LAYER_RANK_${yosta_name} ${yosta_level})
    list(FIND YOSTA_PROGRAM_LAYERS ${yosta_name} yosta_program)
    if(yosta_program EQUAL -1)
      list(APPEND YOSTA_LAYERS ${yosta_name})
    endif()
  endforeach()
  math(EXPR yosta_level "${yosta_level} + 1")
endforeach()
