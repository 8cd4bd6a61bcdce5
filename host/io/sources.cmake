list(APPEND HOSTRT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/client_dataset_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dataset_file.h
  ${CMAKE_CURRENT_LIST_DIR}/sqlite_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sqlite_handles.h
  ${CMAKE_CURRENT_LIST_DIR}/sqlite_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sqlite_reader.h
)
