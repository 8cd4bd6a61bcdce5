list(APPEND HOSTRT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/accent_fold.cpp
  ${CMAKE_CURRENT_LIST_DIR}/accent_fold.h
  ${CMAKE_CURRENT_LIST_DIR}/text_fold.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_fold.h
  ${CMAKE_CURRENT_LIST_DIR}/text_form.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_form.h
)
