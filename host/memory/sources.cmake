list(APPEND HOSTRT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/client_dataset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client_dataset_cursor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client_dataset_p.h
  ${CMAKE_CURRENT_LIST_DIR}/client_dataset_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/search_build.cpp
  ${CMAKE_CURRENT_LIST_DIR}/search_build.h
)
