# The platform services of the user interface: posted and sent messages, pauses,
# held input. Virtual keys and the screen are pure queries that the application's
# message hook needs as well: HOST_PLATFORM_SHARED_SOURCES are built into both
# libraries (hidden in the host run time).
list(APPEND HOSTUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/platform.h
  ${CMAKE_CURRENT_LIST_DIR}/platform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/input_hold.h
  ${CMAKE_CURRENT_LIST_DIR}/input_hold.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform_message_event.h
  ${CMAKE_CURRENT_LIST_DIR}/platform_message_event.cpp
)
set(HOST_PLATFORM_SHARED_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/screen.h
  ${CMAKE_CURRENT_LIST_DIR}/screen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtual_keys.h
  ${CMAKE_CURRENT_LIST_DIR}/virtual_keys.cpp
)
