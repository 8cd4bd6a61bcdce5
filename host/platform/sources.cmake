list(APPEND HOSTRT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/platform.h
  ${CMAKE_CURRENT_LIST_DIR}/platform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/input_hold.h
  ${CMAKE_CURRENT_LIST_DIR}/input_hold.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform_message_event.h
  ${CMAKE_CURRENT_LIST_DIR}/platform_message_event.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtual_keys.h
  ${CMAKE_CURRENT_LIST_DIR}/virtual_keys.cpp
)
