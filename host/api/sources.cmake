list(APPEND HOSTRT_SOURCES
  ${PROJECT_SOURCE_DIR}/include/touchsearch/application.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/message.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/dataset.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/dataset_error.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/disabled_controls.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/field.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/field_type.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/filter_options.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/index_defs.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/client_dataset.h
  ${PROJECT_SOURCE_DIR}/include/touchsearch/sql_dataset.h
  ${CMAKE_CURRENT_LIST_DIR}/dataset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field.cpp
  ${CMAKE_CURRENT_LIST_DIR}/index_defs.cpp
)
