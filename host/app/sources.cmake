list(APPEND HOSTRT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/application.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_reporter.h
  ${CMAKE_CURRENT_LIST_DIR}/progress_reporter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_hook_filter.h
  ${CMAKE_CURRENT_LIST_DIR}/message_hook_filter.cpp
)
