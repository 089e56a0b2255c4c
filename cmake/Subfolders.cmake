# ml_add_subfolders(): adds every folder below the current one that has a CMakeLists.txt and is
# not a module needing Qt while Qt is off. Qt-dependent folders are listed in ML_QT_MODULES by
# their path relative to src/ (appkit, shell, info, rename, list, find).
function(ml_add_subfolders)
  file(GLOB_RECURSE lists RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  list(SORT lists)
  foreach(f IN LISTS lists)
    get_filename_component(dir ${f} DIRECTORY)
    set(qt_only FALSE)
    foreach(q IN ITEMS appkit shell info rename list find app)
      if(dir STREQUAL q OR dir MATCHES "^${q}/")
        set(qt_only TRUE)
      endif()
    endforeach()
    if(qt_only AND NOT ML_WITH_QT)
      continue()
    endif()
    add_subdirectory(${dir})
  endforeach()
endfunction()
