list(APPEND HOSTRT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/column.cpp
  ${CMAKE_CURRENT_LIST_DIR}/column.h
  ${CMAKE_CURRENT_LIST_DIR}/large_array.cpp
  ${CMAKE_CURRENT_LIST_DIR}/large_array.h
  ${CMAKE_CURRENT_LIST_DIR}/leading_order.cpp
  ${CMAKE_CURRENT_LIST_DIR}/leading_order.h
  ${CMAKE_CURRENT_LIST_DIR}/record_order.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_order.h
  ${CMAKE_CURRENT_LIST_DIR}/record_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_view.h
  ${CMAKE_CURRENT_LIST_DIR}/table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table.h
  ${CMAKE_CURRENT_LIST_DIR}/text_sort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_sort.h
)
