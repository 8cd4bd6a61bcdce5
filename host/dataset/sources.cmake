list(APPEND HOSTRT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/dataset.h
  ${CMAKE_CURRENT_LIST_DIR}/dataset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dataset_error.h
  ${CMAKE_CURRENT_LIST_DIR}/field.h
  ${CMAKE_CURRENT_LIST_DIR}/field.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_type.h
)
